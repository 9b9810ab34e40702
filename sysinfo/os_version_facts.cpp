#include "sysinfo/os_version_facts.h"

#include <cwchar>

#include "t_common/os_version.h"

namespace common {
namespace {

struct EditionRow {
  DWORD product_type;
  const wchar_t* text;
};

const EditionRow kEditions[] = {
    {6, L"Business"},
    {16, L"Business N"},
    {18, L"HPC Edition"},
    {8, L"Server Datacenter (full installation)"},
    {12, L"Server Datacenter (core installation)"},
    {39, L"Server Datacenter without Hyper-V (core installation)"},
    {37, L"Server Datacenter without Hyper-V (full installation)"},
    {4, L"Enterprise"},
    {70, L"Not supported"},
    {27, L"Enterprise N"},
    {10, L"Server Enterprise (full installation)"},
    {14, L"Server Enterprise (core installation)"},
    {41, L"Server Enterprise without Hyper-V (core installation)"},
    {15, L"Server Enterprise for Itanium-based Systems"},
    {38, L"Server Enterprise without Hyper-V (full installation)"},
    {2, L"Home Basic"},
    {67, L"Not supported"},
    {5, L"Home Basic N"},
    {3, L"Home Premium"},
    {68, L"Not supported"},
    {26, L"Home Premium N"},
    {42, L"Microsoft Hyper-V Server"},
    {30, L"Essential Business Server Management Server"},
    {32, L"Essential Business Server Messaging Server"},
    {31, L"Essential Business Server Security Server"},
    {48, L"Professional"},
    {69, L"Not supported"},
    {49, L"Professional N"},
    {24, L"for Windows Essential Server Solutions"},
    {35, L"without Hyper-V for Windows Essential Server Solutions"},
    {33, L"Server Foundation"},
    {34, L"Home Server 2011"},
    {50, L"Small Business Server 2011 Essentials"},
    {19, L"Storage Server 2008 R2 Essentials"},
    {9, L"Small Business Server"},
    {56, L"MultiPoint Server"},
    {7, L"Server Standard (full installation)"},
    {13, L"Server Standard (core installation)"},
    {40, L"Server Standard without Hyper-V (core installation)"},
    {36, L"Server Standard without Hyper-V (full installation)"},
    {11, L"Starter"},
    {66, L"Not supported"},
    {47, L"Starter N"},
    {23, L"Storage Server Enterprise"},
    {20, L"Storage Server Express"},
    {21, L"Storage Server Standard"},
    {22, L"Storage Server Workgroup"},
    {0, L"An unknown product"},
    {1, L"Ultimate"},
    {71, L"Not supported"},
    {28, L"Ultimate N"},
    {17, L"Web Server (full installation)"},
    {29, L"Web Server (core installation)"},
};
static_assert(sizeof(kEditions) / sizeof(kEditions[0]) == 53, "the edition table has 53 rows");

constexpr WORD kSuiteEnterprise = VER_SUITE_ENTERPRISE;        // 0x2
constexpr WORD kSuiteDatacenter = VER_SUITE_DATACENTER;        // 0x80
constexpr WORD kSuitePersonal = VER_SUITE_PERSONAL;            // 0x200
constexpr WORD kSuiteBlade = VER_SUITE_BLADE;                  // 0x400
constexpr WORD kSuiteStorageServer = VER_SUITE_STORAGE_SERVER; // 0x2000
constexpr WORD kSuiteComputeServer = VER_SUITE_COMPUTE_SERVER; // 0x4000
constexpr WORD kSuiteHomeServer = VER_SUITE_WH_SERVER;         // 0x8000

bool IsWorkstation(const OSVERSIONINFOEXW& v) { return v.wProductType == VER_NT_WORKSTATION; }
bool IsServerOrController(const OSVERSIONINFOEXW& v) {
  return v.wProductType == VER_NT_DOMAIN_CONTROLLER || v.wProductType == VER_NT_SERVER;
}
bool Has(WORD mask, WORD suite) { return (mask & suite) != 0; }

// The service-pack text may lack its terminator in a damaged record.
std::wstring ServicePack(const OSVERSIONINFOEXW& v) {
  return std::wstring(v.szCSDVersion, wcsnlen(v.szCSDVersion, sizeof(v.szCSDVersion) / sizeof(wchar_t)));
}

std::wstring Format(const wchar_t* format, int a, int b = 0) {
  wchar_t text[32];
  std::swprintf(text, sizeof(text) / sizeof(text[0]), format, a, b);
  return text;
}

// The edition byte of NT 4.0 and earlier; false when it needs the unreadable
// registry value.
bool OldNtEdition(const OsVersionFacts& facts, unsigned long* edition) {
  const OSVERSIONINFOEXW& v = facts.version;
  if (facts.extended) {
    if (IsWorkstation(v)) *edition = 1;
    else if (IsServerOrController(v)) *edition = Has(v.wSuiteMask, kSuiteEnterprise) ? 5 : 9;
    else *edition = 0;
    return true;
  }
  if (!facts.product_option_read) return false;
  const wchar_t* option = facts.product_option.c_str();
  if (_wcsicmp(option, L"WINNT") == 0) *edition = 1;
  else if (_wcsicmp(option, L"LANMANNT") == 0) *edition = 9;
  else if (_wcsicmp(option, L"SERVERNT") == 0) *edition = 8;
  else *edition = 0;
  return true;
}

bool ComposeNtCode(const OsVersionFacts& facts, unsigned long* code) {
  const OSVERSIONINFOEXW& v = facts.version;
  const DWORD major = v.dwMajorVersion, minor = v.dwMinorVersion;
  const bool amd64 = facts.architecture == PROCESSOR_ARCHITECTURE_AMD64;
  const bool ia64 = facts.architecture == PROCESSOR_ARCHITECTURE_IA64;
  const bool workstation = IsWorkstation(v);
  unsigned long result = 0;
  if ((major > 5 || (major == 5 && minor != 0)) && amd64) result |= kOsVersion64Bit;

  if (major > 6 && major != 10) {
    result |= 0x2000;
  } else if ((major == 10 && minor == 0) || (major == 6 && minor == 4)) {
    result |= 0x1900;
  } else if (major == 10) {
  } else if (major == 6) {
    switch (minor) {
      case 3: result |= 0x1800; break;
      case 2: result |= 0x1700; break;
      case 1: result |= workstation ? 0x1600 : 0x150B; break;
      case 0: result |= workstation ? 0x150A : 0x150B; break;
      default: break;
    }
  } else if (major == 5) {
    switch (minor) {
      case 2:
        if (facts.server_r2 == 0 && v.wSuiteMask != kSuiteStorageServer && v.wSuiteMask != kSuiteHomeServer &&
            workstation && amd64) {
          result |= 0x81300;
        } else {
          result |= 0x1400;
          if (Has(v.wSuiteMask, kSuiteDatacenter)) result += 4;
          else if (Has(v.wSuiteMask, kSuiteEnterprise)) result += 5;
          else if (Has(v.wSuiteMask, kSuiteBlade)) result += 6;
          else result += 7;
          if (!workstation && (ia64 || amd64)) result |= kOsVersion64Bit;
        }
        break;
      case 1: result |= Has(v.wSuiteMask, kSuitePersonal) ? 0x1302 : 0x1303; break;
      case 0:
        if (workstation) result |= 0x1203;
        else if (Has(v.wSuiteMask, kSuiteDatacenter)) result |= 0x1204;
        else if (Has(v.wSuiteMask, kSuiteEnterprise)) result |= 0x1208;
        else result |= 0x1209;
        break;
      default: break;
    }
  } else {
    unsigned long edition = 0;
    if (!OldNtEdition(facts, &edition)) return false;
    result |= (major == 4 ? 0x1100 : 0x1000) + edition;
  }
  *code = result;
  return true;
}

// "_x64" / "_x86" after the names of version 6 and later.
const wchar_t* ArchitectureSuffix(WORD architecture) {
  if (architecture == PROCESSOR_ARCHITECTURE_AMD64) return L"_x64";
  if (architecture == PROCESSOR_ARCHITECTURE_INTEL) return L"_x86";
  return L"";
}

std::wstring MiniNtName(const OsVersionFacts& facts) {
  const OSVERSIONINFOEXW& v = facts.version;
  const DWORD major = v.dwMajorVersion, minor = v.dwMinorVersion;
  const bool workstation = IsWorkstation(v);
  const std::wstring suffix = ArchitectureSuffix(facts.architecture);
  if (major > 6) return (major == 10 && minor == 0 ? L"10" : L"") + suffix;
  if (major == 6) {
    switch (minor) {
      case 4: return L"10" + suffix;
      case 3: return L"8_1" + suffix;
      case 2: return L"8" + suffix;
      case 1: return (workstation ? L"7" : L"2008_r2") + suffix;
      case 0: return (workstation ? L"vista" : L"2008") + suffix;
      default: return suffix;
    }
  }
  if (major == 5 && minor == 2) {
    std::wstring name;
    if (facts.server_r2 != 0) name = L"2003_r2";
    else if (v.wSuiteMask == kSuiteStorageServer) name = L"2003";
    else if (workstation && facts.architecture == PROCESSOR_ARCHITECTURE_AMD64) name = L"xp_x64";
    else name = L"2003";
    if (!workstation) {
      if (facts.architecture == PROCESSOR_ARCHITECTURE_IA64) name += L"_ia64";
      else if (facts.architecture == PROCESSOR_ARCHITECTURE_AMD64) name += L"_x64";
      else name += L"_x86";
    }
    return name;
  }
  if (major == 5 && minor == 1) return L"xp";
  if (major == 5 && minor == 0) return L"2000";
  return L"";
}

void AppendServer2003(const OsVersionFacts& facts, std::wstring* text) {
  const OSVERSIONINFOEXW& v = facts.version;
  const bool workstation = IsWorkstation(v);
  if (facts.server_r2 != 0) *text += L"Windows Server 2003 R2, ";
  else if (v.wSuiteMask == kSuiteStorageServer) *text += L"Windows Storage Server 2003";
  else if (workstation && facts.architecture == PROCESSOR_ARCHITECTURE_AMD64)
    *text += L"Windows XP Professional x64 Edition";
  else *text += L"Windows Server 2003 ";
  if (workstation) return;
  const WORD suite = v.wSuiteMask;
  if (facts.architecture == PROCESSOR_ARCHITECTURE_IA64) {
    if (Has(suite, kSuiteDatacenter)) *text += L"Datacenter Edition for Itanium-based Systems";
    else if (Has(suite, kSuiteEnterprise)) *text += L"Enterprise Edition for Itanium-based Systems";
  } else if (facts.architecture == PROCESSOR_ARCHITECTURE_AMD64) {
    if (Has(suite, kSuiteDatacenter)) *text += L"Datacenter x64 Edition";
    else if (Has(suite, kSuiteEnterprise)) *text += L"Enterprise x64 Edition";
    else *text += L"Standard x64 Edition";
  } else {
    if (Has(suite, kSuiteComputeServer)) *text += L"Compute Cluster Edition";
    else if (Has(suite, kSuiteDatacenter)) *text += L"Datacenter Edition";
    else if (Has(suite, kSuiteEnterprise)) *text += L"Enterprise Edition";
    else if (Has(suite, kSuiteBlade)) *text += L"Web Edition";
    else *text += L"Standard Edition";
  }
}

void AppendOldNt(const OsVersionFacts& facts, std::wstring* text) {
  const OSVERSIONINFOEXW& v = facts.version;
  *text += L"Windows NT ";
  if (facts.extended) {
    if (IsWorkstation(v)) *text += L"Workstation ";
    else if (IsServerOrController(v)) *text += Has(v.wSuiteMask, kSuiteEnterprise) ? L"Enterprise " : L"Server ";
  } else {
    if (!facts.product_option_read) return;
    const wchar_t* option = facts.product_option.c_str();
    if (_wcsicmp(option, L"WINNT") == 0) *text += L"Workstation ";
    else if (_wcsicmp(option, L"LANMANNT") == 0) *text += L"Server ";
    else if (_wcsicmp(option, L"SERVERNT") == 0) *text += L"Advance Server ";
    *text += Format(L" %d.%d", static_cast<int>(v.dwMajorVersion), static_cast<int>(v.dwMinorVersion));
  }
  const int build = static_cast<int>(v.dwBuildNumber & 0xFFFF);
  const std::wstring service_pack = ServicePack(v);
  if (v.dwMajorVersion == 4 && _wcsicmp(service_pack.c_str(), L"Service Pack 6") == 0 && facts.sp6a_hotfix)
    *text += Format(L"Service Pack 6a (Build %d)", build);
  else
    *text += service_pack + Format(L" (Build %d)", build);
}

void AppendNt(const OsVersionFacts& facts, std::wstring* text) {
  const OSVERSIONINFOEXW& v = facts.version;
  const DWORD major = v.dwMajorVersion, minor = v.dwMinorVersion;
  const bool workstation = IsWorkstation(v);
  if (major == 10 && minor == 0) {
    *text += L"Windows 10 ";
  } else if (major == 6) {
    switch (minor) {
      case 4: *text += L"Windows 10 "; break;
      case 3: *text += L"Windows 8.1 "; break;
      case 2: *text += L"Windows 8 "; break;
      case 1: *text += workstation ? L"Windows 7 " : L"Windows Server 2008 R2 "; break;
      case 0: *text += workstation ? L"Windows Vista " : L"Windows Server 2008 "; break;
      default: break;
    }
  }
  if (major == 6) {
    const wchar_t* edition = EditionName(facts.product_info);
    *text += edition ? edition : L"(An unknown product)";
  }
  if (major >= 6) {
    if (facts.architecture == PROCESSOR_ARCHITECTURE_AMD64) *text += L", 64-bit";
    else if (facts.architecture == PROCESSOR_ARCHITECTURE_INTEL) *text += L", 32-bit";
  }
  if (major == 5 && minor == 2) AppendServer2003(facts, text);
  if (major == 5 && minor == 1) {
    *text += L"Windows XP ";
    *text += Has(v.wSuiteMask, kSuitePersonal) ? L"Home Edition" : L"Professional";
  }
  if (major == 5 && minor == 0) {
    *text += L"Windows 2000 ";
    if (workstation) *text += L"Professional";
    else if (Has(v.wSuiteMask, kSuiteDatacenter)) *text += L"Datacenter Server";
    else if (Has(v.wSuiteMask, kSuiteEnterprise)) *text += L"Advanced Server";
    else *text += L"Server";
  }
  if (major > 4) {
    const std::wstring service_pack = ServicePack(v);
    if (!service_pack.empty()) *text += L" " + service_pack;
    *text += Format(L" (Build %d)", static_cast<int>(v.dwBuildNumber));
  } else {
    AppendOldNt(facts, text);
  }
}

void Append9x(const OSVERSIONINFOEXW& v, std::wstring* text) {
  if (v.dwMajorVersion != 4) return;
  const wchar_t second = v.szCSDVersion[0] ? v.szCSDVersion[1] : L'\0';
  switch (v.dwMinorVersion) {
    case 0:
      *text += L"Windows 95 ";
      if (second == L'C' || second == L'B') *text += L" OSR2";
      break;
    case 10:
      *text += L"Windows 98 ";
      if (second == L'A') *text += L" SE";
      break;
    case 90: *text += L"Windows ME "; break;
    default: break;
  }
}

}  // namespace

const wchar_t* EditionName(DWORD product_type) {
  for (const EditionRow& row : kEditions) {
    if (row.product_type == product_type) return row.text;
  }
  return nullptr;
}

bool ComposeOsVersionCode(const OsVersionFacts& facts, unsigned long* code) {
  const OSVERSIONINFOEXW& v = facts.version;
  switch (v.dwPlatformId) {
    case VER_PLATFORM_WIN32s: *code = kOsFamilyWin32s; return true;
    case VER_PLATFORM_WIN32_WINDOWS:
      *code = 0;
      if (v.dwMajorVersion == 4) {
        if (v.dwMinorVersion == 0) *code = kOsFamilyWin95;
        else if (v.dwMinorVersion == 10) *code = kOsFamilyWin98;
        else if (v.dwMinorVersion == 90) *code = kOsFamilyWinMe;
      }
      return true;
    case VER_PLATFORM_WIN32_NT: return ComposeNtCode(facts, code);
    default: *code = 0; return true;
  }
}

std::wstring ComposeMiniOsVersionDesc(const OsVersionFacts& facts) {
  std::wstring text = L"win";
  if (facts.version.dwPlatformId == VER_PLATFORM_WIN32_NT) text += MiniNtName(facts);
  return text;
}

std::wstring ComposeOsVersionDesc(const OsVersionFacts& facts) {
  std::wstring text = L"Microsoft ";
  switch (facts.version.dwPlatformId) {
    case VER_PLATFORM_WIN32_NT: AppendNt(facts, &text); break;
    case VER_PLATFORM_WIN32_WINDOWS: Append9x(facts.version, &text); break;
    case VER_PLATFORM_WIN32s: text += L"Windows Unknown"; break;
    default: break;
  }
  return text;
}

}  // namespace common
