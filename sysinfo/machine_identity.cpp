#include "t_common/machine_identity.h"

#include <windows.h>
#include <cpuid.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "foundation/path_buffer.h"
#include "foundation/product_names.h"
#include "win/registry_key.h"
#include "sysinfo/drive_identity.h"
#include "sysinfo/machine_identifier.h"
#include "t_common/digest.h"
#include "t_common/os_version.h"
#include "t_common/text.h"
#include "win/windows_bitness.h"

namespace common {
namespace {

const wchar_t kGuidValue[] = L"guid";
constexpr DWORD kStoredBytes = 780;
constexpr DWORD kMachinePartBytes = 520;
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

std::wstring MachineGuid() {
  win::RegistryKey key;
  const REGSAM access = win::IsWow64Process() ? (KEY_READ | KEY_WOW64_64KEY) : KEY_READ;
  std::wstring value;
  DWORD type = REG_NONE;
  if (key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", access) != ERROR_SUCCESS ||
      key.ReadString(L"MachineGuid", &value, kMachinePartBytes, &type) != ERROR_SUCCESS || type != REG_SZ)
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
  win::RegistryKey key;
  std::wstring value;
  if (key.Open(HKEY_CURRENT_USER, TQ_REGISTRY_KEY, KEY_READ) != ERROR_SUCCESS ||
      key.ReadString(kGuidValue, &value, kStoredBytes) != ERROR_SUCCESS)
    return L"";
  return value;
}

// The key is opened, never created: without it nothing is stored.
void StoreGuid(const std::wstring& identifier) {
  win::RegistryKey key;
  const REGSAM access = kReadWriteAccess | (IsX64System() ? KEY_WOW64_32KEY : 0);
  if (key.Open(HKEY_CURRENT_USER, TQ_REGISTRY_KEY, access) != ERROR_SUCCESS) return;
  key.WriteUnterminatedString(kGuidValue, StoredGuidText(identifier));
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
