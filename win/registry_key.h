// An open registry key, closed once, with typed value reads and writes.
//
// Every call returns the system's status code (ERROR_SUCCESS on success). A
// read that fails leaves its output untouched. String values follow one rule:
// the text ends at the first NUL in the data, or at the data's end when the
// writer left no terminator. A read given max_bytes asks for at most that many
// bytes, so a larger value fails with ERROR_MORE_DATA, as a fixed buffer would.
//
//   win::RegistryKey key;
//   std::wstring guid;
//   if (key.Open(HKEY_CURRENT_USER, L"Software\\...", KEY_READ) == ERROR_SUCCESS &&
//       key.ReadString(L"guid", &guid) == ERROR_SUCCESS) { ... }
#ifndef WIN_REGISTRY_KEY_H_
#define WIN_REGISTRY_KEY_H_

#include <windows.h>

#include <string>
#include <vector>

namespace win {

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  RegistryKey(RegistryKey&& other) noexcept;
  ~RegistryKey() { reset(); }

  // access may carry KEY_WOW64_32KEY or KEY_WOW64_64KEY to pick a view.
  LONG Open(HKEY parent, const wchar_t* subkey, REGSAM access);
  // disposition, when given, tells whether the key was new (REG_CREATED_NEW_KEY).
  LONG Create(HKEY parent, const wchar_t* subkey, REGSAM access, DWORD* disposition = nullptr);

  // type, when given, receives the value's type (REG_SZ, REG_EXPAND_SZ, ...);
  // the bytes are read as UTF-16 text whatever the type says.
  LONG ReadString(const wchar_t* name, std::wstring* value, DWORD max_bytes = 0, DWORD* type = nullptr) const;
  // Only a REG_DWORD value reads; anything else is ERROR_UNSUPPORTED_TYPE.
  LONG ReadDword(const wchar_t* name, DWORD* value) const;
  LONG ReadBinary(const wchar_t* name, std::vector<BYTE>* value) const;

  // A REG_SZ value with its terminator, or of exactly the text's characters.
  LONG WriteString(const wchar_t* name, const std::wstring& value);
  LONG WriteUnterminatedString(const wchar_t* name, const std::wstring& value);
  LONG WriteDword(const wchar_t* name, DWORD value);
  LONG WriteBinary(const wchar_t* name, const void* data, DWORD bytes);
  LONG DeleteValue(const wchar_t* name);

  bool valid() const { return key_ != nullptr; }
  HKEY get() const { return key_; }
  void reset();

 private:
  LONG ReadBytes(const wchar_t* name, DWORD max_bytes, DWORD* type, std::vector<BYTE>* bytes) const;
  LONG WriteBinaryOfType(const wchar_t* name, DWORD type, const void* data, DWORD bytes);

  HKEY key_ = nullptr;
};

}  // namespace win

#endif  // WIN_REGISTRY_KEY_H_
