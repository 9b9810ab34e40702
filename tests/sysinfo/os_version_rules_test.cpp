// The code, short tag and description rules on hand-made version records.
#include "sysinfo/os_version_facts.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

using common::OsVersionFacts;

constexpr WORD X86 = PROCESSOR_ARCHITECTURE_INTEL, I64 = PROCESSOR_ARCHITECTURE_IA64,
               A64 = PROCESSOR_ARCHITECTURE_AMD64;
constexpr BYTE WS = VER_NT_WORKSTATION, DC = VER_NT_DOMAIN_CONTROLLER, SV = VER_NT_SERVER;

// NT unless another platform is given: product type, native architecture, suite mask, service pack,
// build, GetProductInfo's type.
OsVersionFacts Nt(DWORD major, DWORD minor, BYTE type, WORD arch, WORD suite = 0, const wchar_t* sp = L"",
                  DWORD build = 1000, DWORD info = 1, DWORD platform = VER_PLATFORM_WIN32_NT) {
  OsVersionFacts f;
  f.version = {sizeof(OSVERSIONINFOEXW), major, minor, build, platform, {}, 0, 0, suite, type, 0};
  std::wcsncpy(f.version.szCSDVersion, sp, 127);
  f.extended = true;
  f.architecture = arch;
  f.product_info = info;
  return f;
}
OsVersionFacts W9x(DWORD minor, const wchar_t* sp, DWORD major = 4, DWORD platform = VER_PLATFORM_WIN32_WINDOWS) {
  return Nt(major, minor, 0, X86, 0, sp, 950, 1, platform);
}

// Server 2003 and its relatives, build 3790; r2 is SM_SERVERR2.
OsVersionFacts S03(BYTE type, WORD arch, WORD suite, int r2 = 0) {
  OsVersionFacts f = Nt(5, 2, type, arch, suite, L"", 3790);
  f.server_r2 = r2;
  return f;
}

// NT 4.0 and earlier without the extended record: the registry's product option (null: unreadable).
OsVersionFacts Old(OsVersionFacts f, const wchar_t* option) {
  f.extended = false;
  f.version.wProductType = 0;
  f.product_option_read = option != nullptr;
  f.product_option = option ? option : L"";
  return f;
}
OsVersionFacts Sp6a(OsVersionFacts f) {
  f.sp6a_hotfix = true;
  return f;
}

// Every description starts with "Microsoft ", which the rows leave out.
const struct {
  OsVersionFacts facts;
  unsigned long code;
  const wchar_t* tag;
  const wchar_t* description;
} kCases[] = {
    {W9x(1, L"", 3, VER_PLATFORM_WIN32s), 0x100, L"win", L"Windows Unknown"},
    {W9x(0, L" B"), 0x200, L"win", L"Windows 95  OSR2"},
    {W9x(0, L" C"), 0x200, L"win", L"Windows 95  OSR2"},
    {W9x(0, L" A"), 0x200, L"win", L"Windows 95 "},
    {W9x(10, L""), 0x300, L"win", L"Windows 98 "},
    {W9x(10, L" A "), 0x300, L"win", L"Windows 98  SE"},
    {W9x(90, L" "), 0x400, L"win", L"Windows ME "},
    {W9x(3, L""), 0, L"win", L""},
    {W9x(0, L"", 5), 0, L"win", L""},
    {W9x(1, L"", 6, 3), 0, L"win", L""},  // unknown platform

    {Nt(10, 0, WS, A64, 0, L"", 19045, 48), 0x81900, L"win10_x64", L"Windows 10 , 64-bit (Build 19045)"},
    {Nt(10, 1, WS, A64, 0, L"", 20000), 0x80000, L"win_x64", L", 64-bit (Build 20000)"},
    {Nt(11, 0, WS, A64, 0, L"", 30000), 0x82000, L"win_x64", L", 64-bit (Build 30000)"},
    {Nt(7, 0, SV, X86, 0, L"SP", 1), 0x2000, L"win_x86", L", 32-bit SP (Build 1)"},
    {Nt(6, 5, WS, A64, 0, L"", 1, 71), 0x80000, L"win_x64", L"Not supported, 64-bit (Build 1)"},
    {Nt(6, 4, WS, A64, 0, L"", 9841, 48), 0x81900, L"win10_x64", L"Windows 10 Professional, 64-bit (Build 9841)"},
    {Nt(6, 3, WS, A64, 0, L"", 9600, 4), 0x81800, L"win8_1_x64", L"Windows 8.1 Enterprise, 64-bit (Build 9600)"},
    {Nt(6, 2, WS, X86, 0, L"", 9200, 3), 0x1700, L"win8_x86", L"Windows 8 Home Premium, 32-bit (Build 9200)"},
    {Nt(6, 1, WS, A64, 0, L"SP1", 7601, 1), 0x81600, L"win7_x64", L"Windows 7 Ultimate, 64-bit SP1 (Build 7601)"},
    {Nt(6, 1, SV, A64, 0, L"SP1", 7601, 8), 0x8150B, L"win2008_r2_x64",
     L"Windows Server 2008 R2 Server Datacenter (full installation), 64-bit SP1 (Build 7601)"},
    {Nt(6, 1, SV, I64, 0, L"", 7600, 15), 0x150B, L"win2008_r2",
     L"Windows Server 2008 R2 Server Enterprise for Itanium-based Systems (Build 7600)"},
    {Nt(6, 1, 7, A64, 0, L"", 7601, 1), 0x8150B, L"win2008_r2_x64",  // unknown product type
     L"Windows Server 2008 R2 Ultimate, 64-bit (Build 7601)"},
    {Nt(6, 0, WS, X86, 0, L"SP2", 6002, 6), 0x150A, L"winvista_x86",
     L"Windows Vista Business, 32-bit SP2 (Build 6002)"},
    {Nt(6, 0, SV, A64, 0, L"", 6001, 99), 0x8150B, L"win2008_x64",
     L"Windows Server 2008 (An unknown product), 64-bit (Build 6001)"},
    {Nt(6, 0, SV, A64, 0, L"", 6001, 0), 0x8150B, L"win2008_x64",
     L"Windows Server 2008 An unknown product, 64-bit (Build 6001)"},

    {Nt(5, 2, WS, A64, 0, L"SP2", 3790), 0x81300, L"winxp_x64",
     L"Windows XP Professional x64 Edition SP2 (Build 3790)"},
    {S03(WS, X86, 0), 0x1407, L"win2003", L"Windows Server 2003  (Build 3790)"},
    {S03(SV, X86, 0x80), 0x1404, L"win2003_x86", L"Windows Server 2003 Datacenter Edition (Build 3790)"},
    {S03(SV, X86, 0x4002), 0x1405, L"win2003_x86", L"Windows Server 2003 Compute Cluster Edition (Build 3790)"},
    {S03(SV, X86, 0x2), 0x1405, L"win2003_x86", L"Windows Server 2003 Enterprise Edition (Build 3790)"},
    {S03(SV, X86, 0x400), 0x1406, L"win2003_x86", L"Windows Server 2003 Web Edition (Build 3790)"},
    {S03(DC, X86, 0x10), 0x1407, L"win2003_x86", L"Windows Server 2003 Standard Edition (Build 3790)"},
    {S03(SV, A64, 0x80, 1), 0x81404, L"win2003_r2_x64", L"Windows Server 2003 R2, Datacenter x64 Edition (Build 3790)"},
    {S03(SV, A64, 0x2), 0x81405, L"win2003_x64", L"Windows Server 2003 Enterprise x64 Edition (Build 3790)"},
    {S03(SV, A64, 0), 0x81407, L"win2003_x64", L"Windows Server 2003 Standard x64 Edition (Build 3790)"},
    {S03(SV, I64, 0x80), 0x81404, L"win2003_ia64",
     L"Windows Server 2003 Datacenter Edition for Itanium-based Systems (Build 3790)"},
    {S03(SV, I64, 0x2), 0x81405, L"win2003_ia64",
     L"Windows Server 2003 Enterprise Edition for Itanium-based Systems (Build 3790)"},
    {S03(SV, I64, 0x400), 0x81406, L"win2003_ia64", L"Windows Server 2003  (Build 3790)"},
    {S03(SV, I64, 0, 1), 0x81407, L"win2003_r2_ia64", L"Windows Server 2003 R2,  (Build 3790)"},
    {S03(SV, X86, 0x2000), 0x1407, L"win2003_x86", L"Windows Storage Server 2003Standard Edition (Build 3790)"},
    {S03(WS, A64, 0x2000), 0x81407, L"win2003", L"Windows Storage Server 2003 (Build 3790)"},
    {S03(WS, A64, 0x8000), 0x81407, L"winxp_x64", L"Windows XP Professional x64 Edition (Build 3790)"},
    {Nt(5, 1, WS, X86, 0x200, L"SP3", 2600), 0x1302, L"winxp", L"Windows XP Home Edition SP3 (Build 2600)"},
    {Nt(5, 1, WS, X86, 0x100, L"SP3", 2600), 0x1303, L"winxp", L"Windows XP Professional SP3 (Build 2600)"},
    {Nt(5, 1, WS, A64, 0, L"", 2600), 0x81303, L"winxp", L"Windows XP Professional (Build 2600)"},
    {Nt(5, 0, WS, A64, 0x80, L"SP4", 2195), 0x1203, L"win2000", L"Windows 2000 Professional SP4 (Build 2195)"},
    {Nt(5, 0, SV, X86, 0x82, L"", 2195), 0x1204, L"win2000", L"Windows 2000 Datacenter Server (Build 2195)"},
    {Nt(5, 0, DC, X86, 0x2, L"", 2195), 0x1208, L"win2000", L"Windows 2000 Advanced Server (Build 2195)"},
    {Nt(5, 0, SV, X86, 0, L"", 2195), 0x1209, L"win2000", L"Windows 2000 Server (Build 2195)"},
    {Nt(5, 3, WS, A64, 0, L"", 1), 0x80000, L"win", L" (Build 1)"},

    {Nt(4, 0, WS, X86, 0, L"Service Pack 6", 1381), 0x1101, L"win",
     L"Windows NT Workstation Service Pack 6 (Build 1381)"},
    {Sp6a(Nt(4, 0, WS, X86, 0, L"service pack 6", 0x0A280565)), 0x1101, L"win",
     L"Windows NT Workstation Service Pack 6a (Build 1381)"},
    {Sp6a(Nt(4, 0, SV, X86, 0, L"SP5", 1381)), 0x1109, L"win", L"Windows NT Server SP5 (Build 1381)"},
    {Nt(4, 0, SV, X86, 0x2, L"SP5", 1381), 0x1105, L"win", L"Windows NT Enterprise SP5 (Build 1381)"},
    {Nt(4, 0, DC, A64, 0, L"", 1381), 0x1109, L"win", L"Windows NT Server  (Build 1381)"},
    {Nt(4, 0, 7, X86, 0x2, L"Service Pack 6", 1381), 0x1100, L"win", L"Windows NT Service Pack 6 (Build 1381)"},
    {Old(Nt(4, 0, 0, X86, 0, L"SP3", 1381), L"WINNT"), 0x1101, L"win", L"Windows NT Workstation  4.0SP3 (Build 1381)"},
    {Old(Nt(4, 0, 0, X86, 0, L"SP3", 1381), L"lanmannt"), 0x1109, L"win", L"Windows NT Server  4.0SP3 (Build 1381)"},
    {Old(Nt(4, 0, 0, X86, 0, L"", 1381), L"ServerNT"), 0x1108, L"win", L"Windows NT Advance Server  4.0 (Build 1381)"},
    {Old(Nt(4, 0, 0, X86, 0x2, L"", 1381), L"Terminal"), 0x1100, L"win", L"Windows NT  4.0 (Build 1381)"},
    {Sp6a(Old(Nt(4, 0, 0, X86, 0, L"Service Pack 6", 1381), L"WINNT")), 0x1101, L"win",
     L"Windows NT Workstation  4.0Service Pack 6a (Build 1381)"},
    {Nt(3, 51, WS, X86, 0, L"SP5", 1057), 0x1001, L"win", L"Windows NT Workstation SP5 (Build 1057)"},
    {Sp6a(Nt(3, 51, SV, X86, 0, L"Service Pack 6", 1057)), 0x1009, L"win",  // no 6a before 4.0
     L"Windows NT Server Service Pack 6 (Build 1057)"},
    {Old(Nt(3, 51, 0, X86, 0, L"", 1057), L"LANMANNT"), 0x1009, L"win", L"Windows NT Server  3.51 (Build 1057)"},
};

TEST(OsVersionRules, EveryCaseGivesItsCodeTagAndDescription) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "row " << (&c - kCases) << ": " << c.description);
    unsigned long code = 0xDEADBEEF;
    ASSERT_TRUE(common::ComposeOsVersionCode(c.facts, &code));
    EXPECT_EQ(code, c.code) << std::hex << code;
    EXPECT_EQ(common::ComposeMiniOsVersionDesc(c.facts), c.tag);
    EXPECT_EQ(common::ComposeOsVersionDesc(c.facts), L"Microsoft " + std::wstring(c.description));
  }
  for (const DWORD unnamed : {25ul, 72ul, 0xABCDEF01ul}) EXPECT_EQ(common::EditionName(unnamed), nullptr) << unnamed;
}

// An unreadable product option on old NT fails the code and ends the description; a service
// pack text without its terminator stays inside its field.
TEST(OsVersionRules, UnreadableProductOptionAndUnterminatedServicePack) {
  const OsVersionFacts old = Old(Nt(4, 0, 0, X86, 0, L"Service Pack 6", 1381), nullptr);
  unsigned long code = 0xDEADBEEF;
  EXPECT_FALSE(common::ComposeOsVersionCode(old, &code));
  EXPECT_EQ(code, 0xDEADBEEFul);
  EXPECT_EQ(common::ComposeOsVersionDesc(old), L"Microsoft Windows NT ");
  EXPECT_EQ(common::ComposeMiniOsVersionDesc(old), L"win");
  OsVersionFacts damaged = Nt(6, 1, WS, A64, 0, L"", 7601, 1);
  std::wmemset(damaged.version.szCSDVersion, L'S', 128);
  damaged.version.wServicePackMajor = L'A';  // what a reader running past the field would take next
  EXPECT_EQ(common::ComposeOsVersionDesc(damaged),
            L"Microsoft Windows 7 Ultimate, 64-bit " + std::wstring(128, L'S') + L" (Build 7601)");
}

}  // namespace
