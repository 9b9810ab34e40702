#include "win/registry_key.h"

#include <cstring>
#include <cwchar>
#include <utility>

namespace win {

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}

LONG RegistryKey::Open(HKEY parent, const wchar_t* subkey, REGSAM access) {
  reset();
  return ::RegOpenKeyExW(parent, subkey, 0, access, &key_);
}

LONG RegistryKey::Create(HKEY parent, const wchar_t* subkey, REGSAM access, DWORD* disposition) {
  reset();
  return ::RegCreateKeyExW(parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_, disposition);
}

void RegistryKey::reset() {
  if (!key_) return;
  const DWORD last_error = ::GetLastError();
  ::RegCloseKey(key_);
  ::SetLastError(last_error);
  key_ = nullptr;
}

// The value is read in one call when it fits a first guess, and the size is
// asked again if it grew between the two calls.
LONG RegistryKey::ReadBytes(const wchar_t* name, DWORD max_bytes, DWORD* type, std::vector<BYTE>* bytes) const {
  if (!key_) return ERROR_INVALID_HANDLE;
  std::vector<BYTE> data(max_bytes ? max_bytes : 256);
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size());
    const LONG status = ::RegQueryValueExW(key_, name, nullptr, type, data.data(), &size);
    if (status == ERROR_SUCCESS) {
      data.resize(size);
      *bytes = std::move(data);
      return ERROR_SUCCESS;
    }
    if (status != ERROR_MORE_DATA || max_bytes) return status;
    data.resize(size > data.size() ? size : data.size() * 2);
  }
}

LONG RegistryKey::ReadString(const wchar_t* name, std::wstring* value, DWORD max_bytes, DWORD* type) const {
  std::vector<BYTE> bytes;
  DWORD value_type = REG_NONE;
  const LONG status = ReadBytes(name, max_bytes, &value_type, &bytes);
  if (status != ERROR_SUCCESS) return status;
  const size_t characters = bytes.size() / sizeof(wchar_t);
  std::wstring text(characters, L'\0');
  if (characters) std::memcpy(&text[0], bytes.data(), characters * sizeof(wchar_t));
  text.resize(wcsnlen(text.c_str(), characters));
  *value = std::move(text);
  if (type) *type = value_type;
  return ERROR_SUCCESS;
}

LONG RegistryKey::ReadDword(const wchar_t* name, DWORD* value) const {
  std::vector<BYTE> bytes;
  DWORD type = REG_NONE;
  const LONG status = ReadBytes(name, sizeof(DWORD), &type, &bytes);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_DWORD || bytes.size() != sizeof(DWORD)) return ERROR_UNSUPPORTED_TYPE;
  std::memcpy(value, bytes.data(), sizeof(DWORD));
  return ERROR_SUCCESS;
}

LONG RegistryKey::ReadBinary(const wchar_t* name, std::vector<BYTE>* value) const {
  return ReadBytes(name, 0, nullptr, value);
}

LONG RegistryKey::WriteString(const wchar_t* name, const std::wstring& value) {
  return WriteBinaryOfType(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG RegistryKey::WriteUnterminatedString(const wchar_t* name, const std::wstring& value) {
  return WriteBinaryOfType(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() * sizeof(wchar_t)));
}

LONG RegistryKey::WriteDword(const wchar_t* name, DWORD value) {
  return WriteBinaryOfType(name, REG_DWORD, &value, sizeof(value));
}

LONG RegistryKey::WriteBinary(const wchar_t* name, const void* data, DWORD bytes) {
  return WriteBinaryOfType(name, REG_BINARY, data, bytes);
}

LONG RegistryKey::WriteBinaryOfType(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  if (!key_) return ERROR_INVALID_HANDLE;
  return ::RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), bytes);
}

LONG RegistryKey::DeleteValue(const wchar_t* name) {
  if (!key_) return ERROR_INVALID_HANDLE;
  return ::RegDeleteValueW(key_, name);
}

}  // namespace win
