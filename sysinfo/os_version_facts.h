// What the version functions know about the system, and the pure rules that
// turn it into the OS version code, the short tag and the description.
// ReadOsVersionFacts does the reading; tests feed hand-made facts to the rest.
#ifndef SYSINFO_OS_VERSION_FACTS_H_
#define SYSINFO_OS_VERSION_FACTS_H_

#include <windows.h>

#include <string>


namespace common {

struct OsVersionFacts {
  OSVERSIONINFOEXW version = {};
  bool extended = false;  // false: only the 276-byte record could be read
  WORD architecture = PROCESSOR_ARCHITECTURE_INTEL;  // the native one
  int server_r2 = 0;                                 // GetSystemMetrics(SM_SERVERR2)
  DWORD product_info = 0;                            // GetProductInfo's type, major 6 only
  // HKLM ...\ProductOptions "ProductType", for NT 4.0 and earlier without
  // extended information; product_option_read false when it was unreadable.
  bool product_option_read = false;
  std::wstring product_option;
  bool sp6a_hotfix = false;  // HKLM ...\Hotfix\Q246009 exists (NT 4.0 SP 6)
};

// False when no version record could be read at all.
bool ReadOsVersionFacts(OsVersionFacts* facts);

// False only on NT 4.0 and earlier without extended information whose
// "ProductType" value was unreadable.
bool ComposeOsVersionCode(const OsVersionFacts& facts, unsigned long* code);
std::wstring ComposeMiniOsVersionDesc(const OsVersionFacts& facts);
// Not cut to any capacity.
std::wstring ComposeOsVersionDesc(const OsVersionFacts& facts);

// The edition table's text for a GetProductInfo product type; null when the
// type has no row.
const wchar_t* EditionName(DWORD product_type);

}  // namespace common

#endif  // SYSINFO_OS_VERSION_FACTS_H_
