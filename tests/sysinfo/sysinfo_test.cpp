// The machine's version and identity: the version rules on hand-made records; the exported version functions
// on the prefix's Windows (TQ_EXPECTED_WINDOWS names its `winecfg /v` version); the native query, its fault guard
// and the export walk; the IDENTIFY DEVICE fields, the fallback identifier and GetUserGuid's value in an empty HKCU.
#include <windows.h>
#include <cpuid.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <tuple>
#include <utility>

#include "foundation/product_names.h"
#include "support/test_support.h"
#include "sysinfo/drive_identity.h"
#include "sysinfo/export_lookup.h"
#include "sysinfo/fault_guard.h"
#include "sysinfo/machine_identifier.h"
#include "sysinfo/native_version.h"
#include "sysinfo/os_version_facts.h"
#include "t_common/digest.h"
#include "t_common/os_version.h"
#include "t_common/text.h"
#include "win/registry_key.h"
#include "win/system_function.h"

namespace {

using common::OsVersionFacts, common::RunWithFaultGuard, common::Utils::_IDINFO;

const WORD X86 = PROCESSOR_ARCHITECTURE_INTEL, I64 = PROCESSOR_ARCHITECTURE_IA64, A64 = PROCESSOR_ARCHITECTURE_AMD64;
const BYTE WS = VER_NT_WORKSTATION, DC = VER_NT_DOMAIN_CONTROLLER, SV = VER_NT_SERVER;

// NT unless another platform is given: product type, native architecture, suite mask, service pack, build,
// GetProductInfo's type.
OsVersionFacts Nt(DWORD major, DWORD minor, BYTE type, WORD arch, WORD suite = 0, const wchar_t* sp = L"",
                  DWORD build = 1000, DWORD info = 1, DWORD platform = VER_PLATFORM_WIN32_NT) {
  OsVersionFacts f;
  f.version = {sizeof(OSVERSIONINFOEXW), major, minor, build, platform, {}, 0, 0, suite, type, 0};
  std::wcsncpy(f.version.szCSDVersion, sp, 127);
  f.extended = true, f.architecture = arch, f.product_info = info;
  return f;
}
OsVersionFacts W9x(DWORD minor, const wchar_t* sp, DWORD major = 4, DWORD platform = VER_PLATFORM_WIN32_WINDOWS) {
  return Nt(major, minor, 0, X86, 0, sp, 950, 1, platform);
}
// The facts with one change: SM_SERVERR2 on Server 2003 (build 3790); the Q246009 hotfix; no extended record
// on NT 4.0 and earlier, but the registry's product option (null: unreadable); a service pack text without its
// terminator, followed by what a reader running past the field would take next.
OsVersionFacts S03(BYTE type, WORD arch, WORD suite, int r2 = 0) {
  OsVersionFacts f = Nt(5, 2, type, arch, suite, L"", 3790);
  return f.server_r2 = r2, f;
}
OsVersionFacts Sp6a(OsVersionFacts f) { return f.sp6a_hotfix = true, f; }
OsVersionFacts Old(OsVersionFacts f, const wchar_t* option) {
  return f.extended = false, f.product_option_read = option, f.product_option = option ? option : L"", f;
}
OsVersionFacts Unterminated(OsVersionFacts f) {
  std::wmemset(f.version.szCSDVersion, L'S', 128);
  return f.version.wServicePackMajor = L'A', f;
}
constexpr unsigned long kFails = 0xDEADBEEF;  // no code, the output left alone

// Every description starts with "Microsoft ", and on NT but for an unreadable product option ends with the low 16
// bits of the build as " (Build %d)": the rows leave both out.
TEST(OsVersionRules, EveryCaseGivesItsCodeTagAndDescription) {
  const std::wstring kR2 = L"Windows Server 2008 R2 ", kNtWs = L"Windows NT Workstation ", kS128(128, L'S'),
                     kIa64 = L" for Itanium-based Systems";
  const struct { OsVersionFacts facts; unsigned long code; const wchar_t* tag; std::wstring description; } kCases[] = {
    {W9x(1, L"", 3, VER_PLATFORM_WIN32s), 0x100, L"win", L"Windows Unknown"},
    {W9x(0, L" B"), 0x200, L"win", L"Windows 95  OSR2"}, {W9x(0, L" C"), 0x200, L"win", L"Windows 95  OSR2"},
    {W9x(0, L" A"), 0x200, L"win", L"Windows 95 "}, {W9x(10, L""), 0x300, L"win", L"Windows 98 "},
    {W9x(10, L" A "), 0x300, L"win", L"Windows 98  SE"}, {W9x(90, L" "), 0x400, L"win", L"Windows ME "},
    {W9x(3, L""), 0, L"win", L""}, {W9x(0, L"", 5), 0, L"win", L""},
    {W9x(1, L"", 6, 3), 0, L"win", L""},  // unknown platform
    {Nt(10, 0, WS, A64, 0, L"", 19045, 48), 0x81900, L"win10_x64", L"Windows 10 , 64-bit"},
    {Nt(10, 1, WS, A64, 0, L"", 20000), 0x80000, L"win_x64", L", 64-bit"},
    {Nt(11, 0, WS, A64, 0, L"", 30000), 0x82000, L"win_x64", L", 64-bit"},
    {Nt(6, 5, WS, A64, 0, L"", 1, 71), 0x80000, L"win_x64", L"Not supported, 64-bit"},
    {Nt(7, 0, SV, X86, 0, L"SP", 1), 0x2000, L"win_x86", L", 32-bit SP"},
    {Nt(6, 4, WS, A64, 0, L"", 9841, 48), 0x81900, L"win10_x64", L"Windows 10 Professional, 64-bit"},
    {Nt(6, 3, WS, A64, 0, L"", 9600, 4), 0x81800, L"win8_1_x64", L"Windows 8.1 Enterprise, 64-bit"},
    {Nt(6, 2, WS, X86, 0, L"", 9200, 3), 0x1700, L"win8_x86", L"Windows 8 Home Premium, 32-bit"},
    {Nt(6, 1, WS, A64, 0, L"SP1", 7601, 1), 0x81600, L"win7_x64", L"Windows 7 Ultimate, 64-bit SP1"},
    {Unterminated(Nt(6, 1, WS, A64, 0, L"", 7601, 1)), 0x81600, L"win7_x64", L"Windows 7 Ultimate, 64-bit " + kS128},
    {Nt(6, 1, SV, A64, 0, L"", 1, 8), 0x8150B, L"win2008_r2_x64", kR2 + L"Server Datacenter (full installation), 64-bit"},
    {Nt(6, 1, SV, I64, 0, L"", 7600, 15), 0x150B, L"win2008_r2", kR2 + L"Server Enterprise for Itanium-based Systems"},
    {Nt(6, 1, 7, A64, 0, L"", 7601, 1), 0x8150B, L"win2008_r2_x64", kR2 + L"Ultimate, 64-bit"},  // unknown product type
    {Nt(6, 0, WS, X86, 0, L"SP2", 6002, 6), 0x150A, L"winvista_x86", L"Windows Vista Business, 32-bit SP2"},
    {Nt(6, 0, SV, A64, 0, L"", 6001, 99), 0x8150B, L"win2008_x64", L"Windows Server 2008 (An unknown product), 64-bit"},
    {Nt(6, 0, SV, A64, 0, L"", 6001, 0), 0x8150B, L"win2008_x64", L"Windows Server 2008 An unknown product, 64-bit"},
    {Nt(5, 2, WS, A64, 0, L"SP2", 3790), 0x81300, L"winxp_x64", L"Windows XP Professional x64 Edition SP2"},
    {S03(WS, X86, 0), 0x1407, L"win2003", L"Windows Server 2003 "},
    {S03(SV, X86, 0x482), 0x1404, L"win2003_x86", L"Windows Server 2003 Datacenter Edition"},
    {S03(SV, X86, 0x4002), 0x1405, L"win2003_x86", L"Windows Server 2003 Compute Cluster Edition"},
    {S03(SV, X86, 0x402), 0x1405, L"win2003_x86", L"Windows Server 2003 Enterprise Edition"},
    {S03(SV, X86, 0x400), 0x1406, L"win2003_x86", L"Windows Server 2003 Web Edition"},
    {S03(DC, X86, 0x10), 0x1407, L"win2003_x86", L"Windows Server 2003 Standard Edition"},
    {S03(WS, A64, 0, 1), 0x81407, L"win2003_r2", L"Windows Server 2003 R2, "},
    {S03(SV, A64, 0x82, 1), 0x81404, L"win2003_r2_x64", L"Windows Server 2003 R2, Datacenter x64 Edition"},
    {S03(SV, A64, 0x2), 0x81405, L"win2003_x64", L"Windows Server 2003 Enterprise x64 Edition"},
    {S03(SV, A64, 0), 0x81407, L"win2003_x64", L"Windows Server 2003 Standard x64 Edition"},
    {S03(SV, I64, 0x82), 0x81404, L"win2003_ia64", L"Windows Server 2003 Datacenter Edition" + kIa64},
    {S03(SV, I64, 0x2), 0x81405, L"win2003_ia64", L"Windows Server 2003 Enterprise Edition" + kIa64},
    {S03(SV, I64, 0x400), 0x81406, L"win2003_ia64", L"Windows Server 2003 "},
    {S03(SV, I64, 0, 1), 0x81407, L"win2003_r2_ia64", L"Windows Server 2003 R2, "},
    {S03(SV, X86, 0x2000), 0x1407, L"win2003_x86", L"Windows Storage Server 2003Standard Edition"},
    {S03(WS, A64, 0x2000), 0x81407, L"win2003", L"Windows Storage Server 2003"},
    {S03(WS, A64, 0x8000), 0x81407, L"winxp_x64", L"Windows XP Professional x64 Edition"},
    {Nt(5, 1, WS, X86, 0x200, L"SP3", 2600), 0x1302, L"winxp", L"Windows XP Home Edition SP3"},
    {Nt(5, 1, WS, A64, 0x100, L"SP3", 2600), 0x81303, L"winxp", L"Windows XP Professional SP3"},
    {Nt(5, 0, WS, A64, 0x80, L"SP4", 2195), 0x1203, L"win2000", L"Windows 2000 Professional SP4"},
    {Nt(5, 0, SV, X86, 0x82, L"", 2195), 0x1204, L"win2000", L"Windows 2000 Datacenter Server"},
    {Nt(5, 0, DC, X86, 0x2, L"", 2195), 0x1208, L"win2000", L"Windows 2000 Advanced Server"},
    {Nt(5, 0, SV, X86, 0, L"", 2195), 0x1209, L"win2000", L"Windows 2000 Server"},
    {Nt(5, 3, WS, A64, 0, L"", 1), 0x80000, L"win", L""},
    {Nt(4, 0, WS, X86, 0, L"Service Pack 6", 1381), 0x1101, L"win", kNtWs + L"Service Pack 6"},
    {Sp6a(Nt(4, 0, WS, X86, 0, L"service pack 6", 0x0A280565)), 0x1101, L"win", kNtWs + L"Service Pack 6a"},
    {Nt(4, 0, SV, X86, 0x2, L"SP5", 1381), 0x1105, L"win", L"Windows NT Enterprise SP5"},
    {Sp6a(Nt(4, 0, DC, A64, 0, L"SP5", 1381)), 0x1109, L"win", L"Windows NT Server SP5"},
    {Nt(4, 0, 7, X86, 0x2, L"Service Pack 6", 1381), 0x1100, L"win", L"Windows NT Service Pack 6"},
    {Old(Nt(4, 0, 0, X86, 0, L"SP3", 1381), L"WINNT"), 0x1101, L"win", kNtWs + L" 4.0SP3"},
    {Old(Nt(4, 0, 0, X86, 0, L"SP3", 1381), L"lanmannt"), 0x1109, L"win", L"Windows NT Server  4.0SP3"},
    {Old(Nt(4, 0, 0, X86, 0, L"", 1381), L"ServerNT"), 0x1108, L"win", L"Windows NT Advance Server  4.0"},
    {Old(Nt(4, 0, 0, X86, 0x2, L"", 1381), L"Terminal"), 0x1100, L"win", L"Windows NT  4.0"},
    {Old(Nt(4, 0, 0, X86, 0, L"Service Pack 6", 1381), nullptr), kFails, L"win", L"Windows NT "},  // unreadable
    {Sp6a(Old(Nt(4, 0, 0, X86, 0, L"Service Pack 6", 1381), L"WINNT")), 0x1101, L"win", kNtWs + L" 4.0Service Pack 6a"},
    {Nt(3, 51, WS, X86, 0, L"SP5", 1057), 0x1001, L"win", L"Windows NT Workstation SP5"},
    {Sp6a(Nt(3, 51, SV, X86, 0, L"Service Pack 6", 1057)), 0x1009, L"win", L"Windows NT Server Service Pack 6"},
    {Old(Nt(3, 51, 0, X86, 0, L"", 1057), L"LANMANNT"), 0x1009, L"win", L"Windows NT Server  3.51"},
  };
  for (const auto& c : kCases) {
    unsigned long code = kFails;
    const bool nt = c.facts.version.dwPlatformId == VER_PLATFORM_WIN32_NT && c.code != kFails;
    EXPECT_TRUE(common::ComposeOsVersionCode(c.facts, &code) == (c.code != kFails) && code == c.code) << &c - kCases;
    EXPECT_EQ(common::ComposeMiniOsVersionDesc(c.facts), c.tag) << &c - kCases;
    EXPECT_EQ(common::ComposeOsVersionDesc(c.facts), L"Microsoft " + c.description +
              (nt ? L" (Build " + std::to_wstring(c.facts.version.dwBuildNumber & 0xFFFF) + L")" : L"")) << &c - kCases;
  }
  for (const DWORD unnamed : {25ul, 72ul, 0xABCDEF01ul}) EXPECT_EQ(common::EditionName(unnamed), nullptr) << unnamed;
}

// A record at the start of 512 bytes of 0xA5, so that writes past its size field show.
std::string Block(DWORD size) { return std::string(reinterpret_cast<char*>(&size), 4) + std::string(508, '\xA5'); }
template <typename Record> Record* As(std::string& block) { return reinterpret_cast<Record*>(&block[0]); }

// What each version must give by the rules, not what this Wine happens to print. has_edition: version 6 names
// its edition after the start; or_later: IsXpOrLater, IsVistaOrLater, IsWin7OrLater, IsWin8OrLater as bits 3 to 0.
const struct { const char* windows; unsigned long code; const wchar_t *tag, *start; bool has_edition; int or_later; }
    kVersions[] = {
    {"winxp64", 0x81300, L"winxp_x64", L"Microsoft Windows XP Professional x64 Edition", false, 0b1000},
    {"vista", 0x8150A, L"winvista_x64", L"Microsoft Windows Vista ", true, 0b1100},
    {"win2008", 0x8150B, L"win2008_x64", L"Microsoft Windows Server 2008 ", true, 0b1100},
    {"win2008r2", 0x8150B, L"win2008_r2_x64", L"Microsoft Windows Server 2008 R2 ", true, 0b1100},
    {"win7", 0x81600, L"win7_x64", L"Microsoft Windows 7 ", true, 0b1110},
    {"win8", 0x81700, L"win8_x64", L"Microsoft Windows 8 ", true, 0b1111},
    {"win81", 0x81800, L"win8_1_x64", L"Microsoft Windows 8.1 ", true, 0b1111},
    {"win10", 0x81900, L"win10_x64", L"Microsoft Windows 10 , 64-bit", false, 0b1111},
};

// Everything the exported functions say about the prefix's version. The records of the four sizes get ntdll's
// version (the plain GetVersionEx reports less from Windows 8 on): the wide forms everything but the size field,
// the narrow ones major, minor, build and platform, the converted service pack and in the larger form the fields
// after it. Other sizes go to the system, which refuses them; the wide form then writes "1_<error>" where it fits.
// The descriptions write nothing below their minimum capacity or without a buffer.
TEST(VersionMatrix, RecordsCodeBuildTagDescriptionAndOrLaterAnswers) {
  const char* name = std::getenv("TQ_EXPECTED_WINDOWS");
  auto v = std::begin(kVersions);
  while (v != std::end(kVersions) && (!name || std::strcmp(v->windows, name) != 0)) ++v;
  ASSERT_NE(v, std::end(kVersions)) << "no expectations for TQ_EXPECTED_WINDOWS=" << (name ? name : "");
  OSVERSIONINFOEXW native;  // the native query's own entry points and behaviour are checked on their own
  ASSERT_EQ(common::QueryNativeVersion(&native), 1);
  for (DWORD size : {276u, 284u, 148u, 156u}) {
    std::string block = Block(size), expected = Block(size);
    const bool wide = size > sizeof(OSVERSIONINFOEXA);
    expected.replace(4, wide ? size - 4 : 16, reinterpret_cast<char*>(&native.dwMajorVersion), wide ? size - 4 : 16);
    if (size == 156) expected.replace(148, 8, reinterpret_cast<char*>(&native.wServicePackMajor), 8);
    ASSERT_EQ(wide ? common::BV_GetVersionExW(As<OSVERSIONINFOW>(block))
                   : common::BV_GetVersionExA(As<OSVERSIONINFOA>(block)), 1) << size;
    EXPECT_TRUE(wide || block.c_str() + 20 == common::ws2s(native.szCSDVersion, CP_ACP)) << block.c_str() + 20;
    if (!wide) block.replace(20, 128, expected, 20, 128);
    EXPECT_EQ(block, expected) << size;
  }
  for (DWORD size : {0u, 100u, 277u, 300u}) {
    std::string block = Block(size), narrow = Block(size), expected = Block(size);
    ::SetLastError(0);
    ASSERT_EQ(common::BV_GetVersionExW(As<OSVERSIONINFOW>(block)), 0);
    wchar_t text[16];
    const size_t text_bytes = (std::swprintf(text, 16, L"1_%lX", ::GetLastError()) + 1) * sizeof(wchar_t);
    if (size >= text_bytes) expected.replace(0, text_bytes, reinterpret_cast<const char*>(text), text_bytes);
    ASSERT_EQ(common::BV_GetVersionExA(As<OSVERSIONINFOA>(narrow)), 0);
    EXPECT_EQ(block + narrow, expected + Block(size)) << size;  // no failure text in the narrow form
  }
  unsigned long code = 0, build = 0, code_only = 0, build_only = 0;
  ASSERT_EQ(common::BV_GetOSVersion(&code, &build), 1);
  EXPECT_EQ(common::BV_GetOSVersion(&code_only, nullptr) + common::BV_GetOSVersion(nullptr, &build_only) +
                common::BV_GetOSVersion(nullptr, nullptr) + common::BV_GetVersionExW(nullptr) +
                common::BV_GetVersionExA(nullptr), 3);  // either output may be left out; no record gets nothing
  EXPECT_TRUE(code == v->code && build == native.dwBuildNumber && code_only == code && build_only == build) << code;
  DWORD product_type = 0;
  ::GetProductInfo(native.dwMajorVersion, native.dwMinorVersion, 0, 0, &product_type);
  const wchar_t* edition = common::EditionName(product_type);
  std::wstring description = v->start;
  if (v->has_edition) description += std::wstring(edition ? edition : L"(An unknown product)") + L", 64-bit";
  if (native.szCSDVersion[0]) description += L" " + std::wstring(native.szCSDVersion);
  description += L" (Build " + std::to_wstring(native.dwBuildNumber) + L")";
  const auto both_forms = [](auto wide_form, auto narrow_form, unsigned long minimum, const std::wstring& expected) {
    std::wstring wide(minimum, L'#');
    std::string narrow(minimum, '#');
    EXPECT_EQ(wide_form(&wide[0], minimum - 1) + narrow_form(&narrow[0], minimum - 1) + wide_form(nullptr, minimum) +
                  narrow_form(nullptr, minimum), 0);
    EXPECT_TRUE(wide == std::wstring(minimum, L'#') && narrow == std::string(minimum, '#'));
    ASSERT_EQ(wide_form(&wide[0], minimum) + narrow_form(&narrow[0], minimum), 2);
    EXPECT_TRUE(wide.c_str() == expected && narrow.c_str() == common::ws2s(expected, CP_ACP)) << wide.c_str();
  };
  both_forms(&common::BV_GetMiniOSVersionDescW, &common::BV_GetMiniOSVersionDescA, 20, v->tag);
  both_forms(&common::BV_GetOSVersionDescW, &common::BV_GetOSVersionDescA, 256, description);
  const auto or_later = [] { return common::IsXpOrLater() * 8 + common::IsVistaOrLater() * 4 +
                                   common::IsWin7OrLater() * 2 + common::IsWin8OrLater(); };
  EXPECT_TRUE(or_later() == v->or_later && or_later() == v->or_later);  // the second time from the caches
  EXPECT_TRUE(common::IsX64System());
}

// Every faulting write below is counted right before it: a guard that resumes in the wrong frame runs bodies
// again or skips them, and the count tells, whatever the guard returned.
std::atomic<int> g_faulting_writes{0};
volatile ULONG_PTR g_unmapped = 0x10;
void WriteToUnmappedMemory() { ++g_faulting_writes, *reinterpret_cast<volatile int*>(g_unmapped) = 1; }

LONG WINAPI AnsweringGetVersion(OSVERSIONINFOEXW* info) { info->dwMajorVersion = 6; info->wProductType = 3; return 0; }
LONG WINAPI FailingGetVersion(OSVERSIONINFOEXW* info) { info->dwMajorVersion = 9; return LONG(0xC0000001); }
LONG WINAPI FaultingGetVersion(OSVERSIONINFOEXW* info) { info->dwMajorVersion = 9; WriteToUnmappedMemory(); return 0; }
BOOLEAN WINAPI WorkstationProductType(DWORD* type) { *type = 0x101; return TRUE; }  // only the low byte counts
BOOLEAN WINAPI RefusingProductType(DWORD* type) { *type = 2; return FALSE; }
BOOLEAN WINAPI FaultingProductType(DWORD* type) { *type = 2; WriteToUnmappedMemory(); return TRUE; }

// Threads fault independently under the guard. The native query: the result reached before a fault or failure
// stands, the record zeroed first; no record, or one that is not writable (which faults at once), gives 0; the
// real query calls ntdll's entry points. The export walk finds what GetProcAddress finds, ignoring case, and
// nothing else.
TEST(NativeVersionQuery, FaultGuardExportWalkAndTheResultReachedBeforeAFaultOrFailure) {
  const int writes = g_faulting_writes;
  std::atomic<int> threads{0}, wrong_answers{0};
  void (*const kBodies[])(void*) = {[](void*) { WriteToUnmappedMemory(); }, [](void*) {}};  // faults, completes
  testing_support::RunOnThreadsAtOnce(4, [&] {
    for (int i = 0, t = threads++; i < 200; ++i)
      wrong_answers += RunWithFaultGuard(kBodies[(i + t) % 2], nullptr) != ((i + t) % 2 == 1);
  });
  EXPECT_TRUE(wrong_answers == 0 && RunWithFaultGuard([](void*) {}, nullptr));
  // A C++ exception inside the body is the body's own; an inner guard's fault ends only the inner body.
  int steps = 0;
  EXPECT_TRUE(RunWithFaultGuard([](void* s) { try { throw 1; } catch (int) { ++*static_cast<int*>(s); } }, &steps));
  EXPECT_FALSE(RunWithFaultGuard([](void* s) {
    *static_cast<int*>(s) += RunWithFaultGuard([](void*) { WriteToUnmappedMemory(); }, nullptr) ? 100 : 10;
    WriteToUnmappedMemory();
    *static_cast<int*>(s) += 1000;
  }, &steps));
  EXPECT_EQ(steps, 11);
  const auto check = [](common::NativeVersionEntryPoints entry_points, int result, DWORD major, BYTE product_type) {
    OSVERSIONINFOEXW info, expected = {};
    std::memset(&info, 0xCC, sizeof(info));
    expected.dwOSVersionInfoSize = 284, expected.dwMajorVersion = major, expected.wProductType = product_type;
    EXPECT_TRUE(common::QueryNativeVersionWith(entry_points, &info) == result && !std::memcmp(&info, &expected, 284));
  };
  check({&AnsweringGetVersion, &WorkstationProductType}, 1, 6, VER_NT_WORKSTATION);
  check({&AnsweringGetVersion, &RefusingProductType}, 1, 6, VER_NT_SERVER);
  check({&AnsweringGetVersion, nullptr}, 1, 6, VER_NT_SERVER);
  check({&AnsweringGetVersion, &FaultingProductType}, 1, 6, VER_NT_SERVER);  // the fault came before the store
  check({&FaultingGetVersion, &WorkstationProductType}, 0, 9, 0);  // what the query wrote before the fault stays
  check({&FailingGetVersion, &WorkstationProductType}, 0, 9, VER_NT_WORKSTATION);
  check({nullptr, &WorkstationProductType}, 0, 0, 0);
  OSVERSIONINFOEXW* const unwritable = reinterpret_cast<OSVERSIONINFOEXW*>(g_unmapped);
  EXPECT_EQ(common::QueryNativeVersionWith({&AnsweringGetVersion, &WorkstationProductType}, nullptr) +
                common::QueryNativeVersionWith({&AnsweringGetVersion, &WorkstationProductType}, unwritable), 0);
  EXPECT_EQ(g_faulting_writes - writes, 404);  // 400 on the threads, 2 nested and 2 in the query, each once
  const common::NativeVersionEntryPoints ntdll = common::NtdllVersionEntryPoints();
  const HMODULE nt = ::GetModuleHandleW(L"ntdll.dll"), k32 = ::GetModuleHandleW(L"kernel32.dll");
  EXPECT_EQ(ntdll.get_version, win::GetSystemFunction<decltype(ntdll.get_version)>(L"ntdll.dll", "RtlGetVersion"));
  EXPECT_EQ(ntdll.get_product_type,
            win::GetSystemFunction<decltype(ntdll.get_product_type)>(L"ntdll.dll", "RtlGetNtProductType"));
  std::string junk(4096, 'Z');  // readable memory without PE headers; the test program exports nothing
  const struct { HMODULE module; const char *name, *exported_as; } kExports[] = {  // exported_as null: nothing
      {nt, "rtlGETntPRODUCTtype", "RtlGetNtProductType"}, {nt, "MEMCPY", "memcpy"}, {nt, "RtlGetVersio", nullptr},
      {k32, "GetProductInfo", "GetProductInfo"}, {nt, nullptr, nullptr}, {nullptr, "RtlGetVersion", nullptr},
      {reinterpret_cast<HMODULE>(&junk[0]), "RtlGetVersion", nullptr}, {::GetModuleHandleW(nullptr), "main", nullptr}};
  for (const auto& c : kExports) {
    const FARPROC expected = c.exported_as ? ::GetProcAddress(c.module, c.exported_as) : nullptr;
    EXPECT_TRUE((expected || !c.exported_as) && common::FindExportByName(c.module, c.name) == expected) << c.name;
  }
}

#if defined(__i386__)
EXCEPTION_REGISTRATION_RECORD* ExceptionChainHead() {
  EXCEPTION_REGISTRATION_RECORD* head;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
int g_chain_handler_calls = 0;
EXCEPTION_DISPOSITION NTAPI CountingChainHandler(EXCEPTION_RECORD*, void*, CONTEXT*, void*) {
  return ++g_chain_handler_calls, ExceptionContinueSearch;
}

// The body's frame on the x86 exception chain is abandoned with the body: the head must be back where it was, or
// the next exception would walk into a dead stack frame. The guard answers before the body's handler.
TEST(FaultGuard, FaultRestoresTheX86ExceptionChain) {
  const int writes = g_faulting_writes;
  EXCEPTION_REGISTRATION_RECORD* const before = ExceptionChainHead();
  for (int round = 0; round < 3; ++round) {
    EXPECT_FALSE(RunWithFaultGuard([](void*) {
      EXCEPTION_REGISTRATION_RECORD record;
      record.Next = ExceptionChainHead();
      record.Handler = &CountingChainHandler;
      __asm__ volatile("movl %0, %%fs:0" : : "r"(&record) : "memory");
      WriteToUnmappedMemory();
    }, nullptr));
    EXPECT_EQ(ExceptionChainHead(), before);
  }
  EXPECT_TRUE(g_faulting_writes - writes == 3 && g_chain_handler_calls == 0 && RunWithFaultGuard([](void*) {}, nullptr));
  EXPECT_EQ(ExceptionChainHead(), before);
}
#endif

// The stored form: the check value of the identifier's UTF-16LE bytes in lower-case hex, then the identifier.
std::wstring WithCheckValue(std::wstring id) {
  wchar_t text[12];
  std::swprintf(text, 12, L"%08lx", common::GetCRC32(&id[0], static_cast<unsigned long>(id.size() * sizeof(wchar_t))));
  return text + id;
}

// A text field of IDENTIFY DEVICE data is swapped, trimmed and NUL-ended. Devices that are not there fail and
// leave the record; the drive number picks the SCSI port and target. Wine's disks do not answer, so the
// identifier is the processor's and the volume's; no buffer or no room gets nothing. GetUserGuid in an empty
// HKCU: without the product's key nothing is created; with it, a missing value is stored even when the buffer is
// too small (the identifier needs its length plus one); a stored value whose check value matches wins over the
// hardware and stays, any other is replaced by the derived one, in lower case.
TEST(MachineIdentifier, DrivesFallbackAndTheStoredValue) {
  using common::Utils::GetIdeDriveAsScsiInfoInNT, common::Utils::GetPhysicalDriveInfoInNT, common::Utils::getGUID;
  // Serial, firmware and model as a drive sends them, and the identifier: anything but letters, digits and '-' is X.
  const struct { std::string serial, firmware, model; const wchar_t* identifier; } kDisks[] = {
      {"QM00001", "2.5+", "QEMU HARDDISK", L"QEMUXHARDDISK_QM00001"}, {"     WD-WCC4N1234567", "", "", L"_WD-WCC4N1234567"},
      {"", "", "", L"_"}, {"ABCDEFGHIJ0123456789", "1", "M", L"M_ABCDEFGHIJ0123456789"},
      {"  SN 1", "FW", "  Model/Name:2 ", L"ModelXNameX2_SNX1"}, {"a_b.c-9", "", "\xC3\xA9t\xE9 \x7F~", L"XXtXXXX_aXbXc-9"}};
  for (const auto& c : kDisks) {
    std::string info(sizeof(_IDINFO), '\x3C'), expected = info;  // nothing outside the three fields may change
    for (const auto& [text, offset, width] : {std::tuple<std::string, size_t, size_t>{c.serial, 20, 20},
                                              {c.firmware, 46, 8}, {c.model, 54, 40}}) {
      std::string sent = text + std::string(width - text.size(), ' ');  // blank-padded, two characters a word
      _swab(&sent[0], &info[offset], static_cast<int>(width));
      const size_t first = text.find_first_not_of(' '), end = text.find_last_not_of(' ') + 1;
      const std::string trimmed = first == std::string::npos ? "" : text.substr(first, end - first);
      expected.replace(offset, width, trimmed + std::string(width - trimmed.size(), '\0'));  // swapped back, NUL-ended
    }
    common::RewriteIdentifyTextFields(As<_IDINFO>(info));
    EXPECT_TRUE(info == expected && common::DiskIdentifier(*As<_IDINFO>(info)) == c.identifier) << c.serial;
  }
  EXPECT_EQ(common::PhysicalDrivePath(12) + common::ScsiPortPath(5), L"\\\\.\\PhysicalDrive12\\\\.\\Scsi2:");
  EXPECT_TRUE(common::ScsiIdentifyBlock(3).at(28 + 12) == 1 && common::ScsiIdentifyBlock(4).at(28 + 12) == 0);
  std::string block(sizeof(_IDINFO), '\x77');
  EXPECT_EQ(GetPhysicalDriveInfoInNT(97, As<_IDINFO>(block)) + GetIdeDriveAsScsiInfoInNT(97, As<_IDINFO>(block)) +
                GetPhysicalDriveInfoInNT(0, nullptr) + GetIdeDriveAsScsiInfoInNT(0, nullptr), 0);
  EXPECT_EQ(block, std::string(sizeof(_IDINFO), '\x77'));
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  DWORD serial = 0;
  __get_cpuid(1, &eax, &ebx, &ecx, &edx);
  ::GetVolumeInformationW(nullptr, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  wchar_t buffer[780];
  std::wstring fallback(buffer, std::swprintf(buffer, 780, L"%u_%u_%08lX", edx, eax, serial));
  std::wmemset(buffer, L'#', 780);
  getGUID(nullptr, 8);
  getGUID(buffer + 8, 0);
  getGUID(buffer, 8);
  ASSERT_EQ(buffer[8], L'#');
  getGUID(buffer, 780);
  EXPECT_EQ(std::wstring(buffer, 780), fallback + std::wstring(780 - fallback.size(), L'\0'));
  EXPECT_EQ(common::CpuMachinePart(0, 591594u) + common::CpuMachinePart(3219913727u, 0) +
            common::FallbackIdentifier(L"g", 0xAB), L"g_000000AB");

  ::RegDeleteTreeW(HKEY_CURRENT_USER, TQ_REGISTRY_KEY);  // HKCU is the run's own (test_main.cpp)
  const std::wstring derived(_wcslwr(&fallback[0]));
  win::RegistryKey key;
  const auto stored = [&key] {  // the text only: the system adds a missing terminator to a REG_SZ it reads
    std::wstring value;
    DWORD type = 0;
    return key.ReadString(L"guid", &value, 0, &type) == ERROR_SUCCESS && type == REG_SZ ? value : L"<none>";
  };
  ASSERT_TRUE(common::GetUserGuid(buffer, 780));
  EXPECT_EQ(buffer, derived);
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, TQ_REGISTRY_KEY, KEY_READ), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, TQ_REGISTRY_KEY, KEY_ALL_ACCESS), ERROR_SUCCESS);
  std::wstring small(derived.size() + 1, L'#');
  EXPECT_FALSE(common::GetUserGuid(nullptr, 12) || common::GetUserGuid(buffer, 0) || stored() != L"<none>" ||
               common::GetUserGuid(&small[0], derived.size()));
  EXPECT_EQ(stored(), WithCheckValue(derived));
  EXPECT_TRUE(!common::GetUserGuid(&small[0], derived.size()) && small[0] == L'#');  // now read back from the registry
  EXPECT_TRUE(common::GetUserGuid(&small[0], derived.size() + 1) && small.c_str() == derived);
  // An identifier whose check value ends in 0, spelt "z" below: characters other than hex digits count as 0.
  std::wstring id = L"id0";
  for (int i = 1; WithCheckValue(id)[7] != L'0'; ++i) id = L"id" + std::to_wstring(i);
  const std::wstring valid = WithCheckValue(id), upper(_wcsupr(&WithCheckValue(id)[0]));
  const auto edit = [&valid](size_t at, wchar_t c) { std::wstring v = valid; v[at] = c; return v; };
  const std::pair<std::wstring, bool> kStored[] = {{valid, true}, {upper, true}, {edit(7, L'z'), true},
      {edit(valid.size() - 1, L'q'), false}, {edit(0, valid[0] == L'0' ? L'1' : L'0'), false},
      {L"00000000", false}, {L"1234567", false}, {L"", false},
      {WithCheckValue(std::wstring(400, L'a')), false}};  // the last over the 780 bytes read
  for (const auto& [value, kept] : kStored) {
    common::MachineIdSource source = common::MachineIdSource::kDisk;
    ASSERT_TRUE(key.WriteUnterminatedString(L"guid", value) == ERROR_SUCCESS &&
                common::GetUserGuidWithSource(buffer, 780, &source));
    EXPECT_TRUE(buffer == (kept ? id : derived) && stored() == (kept ? value : WithCheckValue(derived)) &&
                source == (kept ? common::MachineIdSource::kRegistry : common::MachineIdSource::kFallback))
        << std::string(value.begin(), value.end());
  }
}

}  // namespace
