#include "t_common/os_version.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <cwchar>
#include <string>

#include "foundation/path_buffer.h"
#include "win/registry_key.h"
#include "sysinfo/native_version.h"
#include "sysinfo/os_version_facts.h"
#include "win/system_function.h"
#include "win/windows_bitness.h"

namespace common {
namespace {

static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284, "wide version records");
static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156, "narrow version records");

constexpr unsigned long kDescriptionCapacity = 256;
constexpr unsigned long kMiniDescriptionCapacity = 20;

// "1_<error>" or "2_<error>" over the record, when its size field leaves room.
void WriteFailureText(OSVERSIONINFOW* info, int step, DWORD error) {
  wchar_t text[11];
  const int length = std::swprintf(text, 11, L"%d_%lX", step, static_cast<unsigned long>(error));
  if (length < 0) return;
  const size_t bytes = (static_cast<size_t>(length) + 1) * sizeof(wchar_t);
  if (info->dwOSVersionInfoSize < bytes) return;
  std::memcpy(info, text, bytes);
}

// GetNativeSystemInfo is looked up on every call: absent before XP.
WORD NativeArchitecture() {
  SYSTEM_INFO info = {};
  using NativeSystemInfoFunction = void(WINAPI*)(SYSTEM_INFO*);
  const auto native = win::GetSystemFunction<NativeSystemInfoFunction>(L"kernel32.dll", "GetNativeSystemInfo");
  if (native) native(&info);
  else ::GetSystemInfo(&info);
  return info.wProcessorArchitecture;
}

// GetProductInfo exists on every version 6 system; if it does not, the type
// stays 0 and the edition reads "An unknown product".
DWORD ProductInfo(const OSVERSIONINFOEXW& version) {
  using ProductInfoFunction = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
  const auto get = win::GetSystemFunction<ProductInfoFunction>(L"kernel32.dll", "GetProductInfo");
  DWORD product_type = 0;
  if (get) get(version.dwMajorVersion, version.dwMinorVersion, 0, 0, &product_type);
  return product_type;
}

bool ReadProductOption(std::wstring* option) {
  win::RegistryKey key;
  return key.Open(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", KEY_QUERY_VALUE) ==
             ERROR_SUCCESS &&
         key.ReadString(L"ProductType", option, 80) == ERROR_SUCCESS;
}

bool HasSp6aHotfix() {
  win::RegistryKey key;
  return key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009",
                  KEY_QUERY_VALUE) == ERROR_SUCCESS;
}

int ToAnsi(const wchar_t* text, char* buffer, unsigned long capacity) {
  const int bytes = capacity > static_cast<unsigned long>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, bytes, nullptr, nullptr);
  return 1;
}

using Composer = std::wstring (*)(const OsVersionFacts&);

// The description forms: a buffer below the minimum capacity is refused, the
// text is cut to fit, the narrow form converts the wide one.
template <unsigned long kMinimumCapacity>
int DescribeWide(Composer compose, wchar_t* buffer, unsigned long capacity) {
  if (!buffer || capacity < kMinimumCapacity) return 0;
  OsVersionFacts facts;
  if (!ReadOsVersionFacts(&facts)) return 0;
  CopyToCallerBuffer(compose(facts).c_str(), buffer, static_cast<unsigned int>(capacity));
  return 1;
}

template <unsigned long kMinimumCapacity>
int DescribeNarrow(Composer compose, char* buffer, unsigned long capacity) {
  if (!buffer || capacity < kMinimumCapacity) return 0;
  wchar_t wide[kMinimumCapacity];
  if (!DescribeWide<kMinimumCapacity>(compose, wide, kMinimumCapacity)) return 0;
  return ToAnsi(wide, buffer, capacity);
}

bool IsFamilyAtLeast(std::atomic<unsigned long>* cache, unsigned long family) {
  unsigned long code = cache->load(std::memory_order_relaxed);
  if (code == 0) {
    if (!BV_GetOSVersion(&code, nullptr)) return false;
    cache->store(code, std::memory_order_relaxed);
  }
  return (code & kOsFamilyMask) >= family;
}

}  // namespace

bool ReadOsVersionFacts(OsVersionFacts* facts) {
  OSVERSIONINFOEXW& v = facts->version;
  std::memset(&v, 0, sizeof(v));
  v.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
  facts->extended = BV_GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v)) != 0;
  if (!facts->extended) {
    std::memset(&v, 0, sizeof(v));
    v.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (!BV_GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v))) return false;
  }
  facts->architecture = NativeArchitecture();
  facts->server_r2 = 0;
  facts->product_info = 0;
  facts->product_option_read = false;
  facts->product_option.clear();
  facts->sp6a_hotfix = false;
  if (v.dwPlatformId != VER_PLATFORM_WIN32_NT) return true;
  if (v.dwMajorVersion == 5 && v.dwMinorVersion == 2) facts->server_r2 = ::GetSystemMetrics(SM_SERVERR2);
  if (v.dwMajorVersion == 6) facts->product_info = ProductInfo(v);
  if (v.dwMajorVersion <= 4 && !facts->extended) facts->product_option_read = ReadProductOption(&facts->product_option);
  if (v.dwMajorVersion == 4 && _wcsicmp(v.szCSDVersion, L"Service Pack 6") == 0) facts->sp6a_hotfix = HasSp6aHotfix();
  return true;
}

int BV_GetVersionExW(OSVERSIONINFOW* info) {
  if (!info) return 0;
  const DWORD size = info->dwOSVersionInfoSize;
  if (size == sizeof(OSVERSIONINFOW) || size == sizeof(OSVERSIONINFOEXW)) {
    OSVERSIONINFOEXW native;
    if (QueryNativeVersion(&native)) {
      std::memcpy(reinterpret_cast<char*>(info) + sizeof(DWORD), reinterpret_cast<const char*>(&native) + sizeof(DWORD),
                  size - sizeof(DWORD));
      return 1;
    }
    if (::GetVersionExW(info)) return 1;
    WriteFailureText(info, 2, ::GetLastError());
    return 0;
  }
  if (::GetVersionExW(info)) return 1;
  WriteFailureText(info, 1, ::GetLastError());
  return 0;
}

int BV_GetVersionExA(OSVERSIONINFOA* info) {
  if (!info) return 0;
  const DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) return ::GetVersionExA(info);
  OSVERSIONINFOEXW wide = {};
  wide.dwOSVersionInfoSize = sizeof(wide);
  if (!BV_GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&wide))) return 0;
  info->dwMajorVersion = wide.dwMajorVersion;
  info->dwMinorVersion = wide.dwMinorVersion;
  info->dwBuildNumber = wide.dwBuildNumber;
  info->dwPlatformId = wide.dwPlatformId;
  const int ansi_capacity = sizeof(info->szCSDVersion);
  if (!::WideCharToMultiByte(CP_ACP, 0, wide.szCSDVersion, -1, info->szCSDVersion, ansi_capacity, nullptr, nullptr))
    info->szCSDVersion[ansi_capacity - 1] = '\0';
  if (size == sizeof(OSVERSIONINFOEXA)) {
    auto* extended = reinterpret_cast<OSVERSIONINFOEXA*>(info);
    extended->wServicePackMajor = wide.wServicePackMajor;
    extended->wServicePackMinor = wide.wServicePackMinor;
    extended->wSuiteMask = wide.wSuiteMask;
    extended->wProductType = wide.wProductType;
    extended->wReserved = wide.wReserved;
  }
  return 1;
}

int BV_GetOSVersion(unsigned long* code, unsigned long* build) {
  OsVersionFacts facts;
  unsigned long composed = 0;
  if (!ReadOsVersionFacts(&facts) || !ComposeOsVersionCode(facts, &composed)) return 0;
  if (code) *code = composed;
  if (build) *build = facts.version.dwBuildNumber;
  return 1;
}

int BV_GetOSVersionDescW(wchar_t* buffer, unsigned long capacity) {
  return DescribeWide<kDescriptionCapacity>(&ComposeOsVersionDesc, buffer, capacity);
}

int BV_GetOSVersionDescA(char* buffer, unsigned long capacity) {
  return DescribeNarrow<kDescriptionCapacity>(&ComposeOsVersionDesc, buffer, capacity);
}

int BV_GetMiniOSVersionDescW(wchar_t* buffer, unsigned long capacity) {
  return DescribeWide<kMiniDescriptionCapacity>(&ComposeMiniOsVersionDesc, buffer, capacity);
}

int BV_GetMiniOSVersionDescA(char* buffer, unsigned long capacity) {
  return DescribeNarrow<kMiniDescriptionCapacity>(&ComposeMiniOsVersionDesc, buffer, capacity);
}

bool IsXpOrLater() {
  static std::atomic<unsigned long> code{0};
  return IsFamilyAtLeast(&code, kOsFamilyXp);
}

bool IsVistaOrLater() {
  static std::atomic<unsigned long> code{0};
  return IsFamilyAtLeast(&code, kOsFamilyVista);
}

bool IsWin7OrLater() {
  static std::atomic<unsigned long> code{0};
  return IsFamilyAtLeast(&code, kOsFamilyWin7);
}

bool IsWin8OrLater() {
  static std::atomic<unsigned long> code{0};
  return IsFamilyAtLeast(&code, kOsFamilyWin8);
}

bool IsX64System() { return win::IsWindows64Bit(); }

}  // namespace common
