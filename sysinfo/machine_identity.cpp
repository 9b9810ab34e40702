#include "t_common/machine_identity.h"

#include <windows.h>
#include <cpuid.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "foundation/path_buffer.h"
#include "foundation/scoped_registry_key.h"
#include "sysinfo/drive_identity.h"
#include "sysinfo/export_lookup.h"
#include "sysinfo/machine_identifier.h"
#include "t_common/digest.h"
#include "t_common/os_version.h"
#include "t_common/text.h"

namespace common {
namespace {

const wchar_t kProductKey[] = L"Software\\Brovanta\\Tessaquill";
const wchar_t kGuidValue[] = L"guid";
constexpr size_t kStoredCapacity = 780;  // characters; read with a byte count of 780
constexpr size_t kMachinePartCapacity = 520;
constexpr REGSAM kReadWriteAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;  // 0x2001F

std::string KeepIdentifierCharacters(std::string text) {
  for (char& c : text) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    if (!keep) c = 'X';
  }
  return text;
}

unsigned long Crc32OfText(const std::wstring& text) {
  return GetCRC32(const_cast<wchar_t*>(text.data()), static_cast<unsigned long>(text.size() * sizeof(wchar_t)));
}

// Non-hex characters count as 0, as the stored value was always read.
unsigned long ParseCheckValue(const wchar_t* digits) {
  unsigned long value = 0;
  for (int i = 0; i < 8; ++i) {
    const wchar_t c = digits[i];
    unsigned long digit = 0;
    if (c >= L'0' && c <= L'9') digit = c - L'0';
    else if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
    value = value * 16 + digit;
  }
  return value;
}

unsigned long CurrentVolumeSerial() {
  DWORD serial = 0;
  if (!::GetVolumeInformationW(nullptr, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) return 0;
  return serial;
}

bool IsWow64() {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32");
  const auto is_wow64 =
      kernel32 ? FunctionCast<IsWow64ProcessFunction>(::GetProcAddress(kernel32, "IsWow64Process")) : nullptr;
  BOOL wow64 = FALSE;
  return is_wow64 && is_wow64(::GetCurrentProcess(), &wow64) && wow64;
}

std::wstring MachineGuid() {
  ScopedRegistryKey key;
  const REGSAM access = IsWow64() ? (KEY_READ | KEY_WOW64_64KEY) : KEY_READ;
  if (key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", access) != ERROR_SUCCESS) return L"";
  wchar_t value[kMachinePartCapacity + 1] = {};  // one more for a terminator the value may lack
  DWORD type = REG_SZ;
  DWORD bytes = kMachinePartCapacity;
  if (::RegQueryValueExW(key.get(), L"MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return L"";
  return value;
}

std::wstring MachinePart() {
  unsigned int signature = 0, ebx = 0, ecx = 0, features = 0;
  if (!__get_cpuid(1, &signature, &ebx, &ecx, &features)) signature = features = 0;
  const std::wstring cpu = CpuMachinePart(features, signature);
  return cpu.empty() ? MachineGuid() : cpu;
}

// The stored value, or empty when there is none to read.
std::wstring ReadStoredGuid() {
  ScopedRegistryKey key;
  if (key.Open(HKEY_CURRENT_USER, kProductKey, KEY_READ) != ERROR_SUCCESS) return L"";
  wchar_t value[kStoredCapacity] = {};
  DWORD bytes = kStoredCapacity;
  if (::RegQueryValueExW(key.get(), kGuidValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &bytes) !=
      ERROR_SUCCESS)
    return L"";
  return std::wstring(value, wcsnlen(value, kStoredCapacity));
}

// The key is opened, never created: without it nothing is stored.
void StoreGuid(const std::wstring& identifier) {
  ScopedRegistryKey key;
  const REGSAM access = kReadWriteAccess | (IsX64System() ? KEY_WOW64_32KEY : 0);
  if (key.Open(HKEY_CURRENT_USER, kProductKey, access) != ERROR_SUCCESS) return;
  const std::wstring stored = StoredGuidText(identifier);
  ::RegSetValueExW(key.get(), kGuidValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(stored.c_str()),
                   static_cast<DWORD>(stored.size() * sizeof(wchar_t)));
}

bool HandOut(const std::wstring& identifier, wchar_t* buffer, unsigned long capacity) {
  if (identifier.size() >= capacity) return false;
  std::wmemcpy(buffer, identifier.c_str(), identifier.size() + 1);
  return true;
}

}  // namespace

std::wstring DiskIdentifier(const Utils::_IDINFO& info) {
  const std::string serial =
      KeepIdentifierCharacters(IdentifyFieldText(info.sSerialNumber, sizeof(info.sSerialNumber)));
  const std::string model = KeepIdentifierCharacters(IdentifyFieldText(info.sModelNumber, sizeof(info.sModelNumber)));
  return s2ws(model, CP_UTF8) + L"_" + s2ws(serial, CP_UTF8);
}

std::wstring CpuMachinePart(unsigned int features, unsigned int signature) {
  if (features == 0 || signature == 0) return L"";
  wchar_t text[24];
  std::swprintf(text, 24, L"%u_%u", features, signature);
  return text;
}

std::wstring FallbackIdentifier(const std::wstring& machine_part, unsigned long volume_serial) {
  wchar_t serial[12];
  std::swprintf(serial, 12, L"_%08lX", volume_serial);
  return machine_part + serial;
}

std::wstring StoredGuidText(const std::wstring& identifier) {
  wchar_t check[12];
  std::swprintf(check, 12, L"%08lx", Crc32OfText(identifier));
  return check + identifier;
}

bool IdentifierFromStoredGuid(const std::wstring& stored, std::wstring* identifier) {
  if (stored.size() <= 8) return false;
  const std::wstring lower = to_lower(stored);
  const std::wstring rest = lower.substr(8);
  if (ParseCheckValue(lower.c_str()) != Crc32OfText(rest)) return false;
  *identifier = rest;
  return true;
}

std::wstring DeriveMachineIdentifier(MachineIdSource* source) {
  Utils::_IDINFO info = {};
  if (Utils::GetPhysicalDriveInfoInNT(0, &info)) {
    if (source) *source = MachineIdSource::kDisk;
    return DiskIdentifier(info);
  }
  if (source) *source = MachineIdSource::kFallback;
  return FallbackIdentifier(MachinePart(), CurrentVolumeSerial());
}

bool GetUserGuidWithSource(wchar_t* buffer, unsigned long capacity, MachineIdSource* source) {
  if (!buffer || capacity == 0) return false;
  std::wstring identifier;
  if (IdentifierFromStoredGuid(ReadStoredGuid(), &identifier)) {
    if (source) *source = MachineIdSource::kRegistry;
    return HandOut(identifier, buffer, capacity);
  }
  identifier = to_lower(DeriveMachineIdentifier(source));
  StoreGuid(identifier);
  return HandOut(identifier, buffer, capacity);
}

bool GetUserGuid(wchar_t* buffer, unsigned long capacity) { return GetUserGuidWithSource(buffer, capacity, nullptr); }

namespace Utils {

void getGUID(wchar_t* buffer, unsigned int capacity) {
  if (!buffer || capacity == 0) return;
  const std::wstring identifier = DeriveMachineIdentifier(nullptr);
  std::wmemset(buffer, L'\0', capacity);
  CopyToCallerBuffer(identifier.c_str(), buffer, capacity);
}

}  // namespace Utils
}  // namespace common
