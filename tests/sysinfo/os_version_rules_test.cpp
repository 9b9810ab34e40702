// The code, short tag and description rules on hand-made version records.
#include "sysinfo/os_version_facts.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

using common::OsVersionFacts;

constexpr WORD kX86 = PROCESSOR_ARCHITECTURE_INTEL, kIa64 = PROCESSOR_ARCHITECTURE_IA64,
               kAmd64 = PROCESSOR_ARCHITECTURE_AMD64;
constexpr BYTE kWorkstation = VER_NT_WORKSTATION, kController = VER_NT_DOMAIN_CONTROLLER, kServer = VER_NT_SERVER;

OsVersionFacts Record(DWORD platform, DWORD major, DWORD minor, DWORD build, const wchar_t* service_pack) {
  OsVersionFacts facts;
  facts.version = {sizeof(OSVERSIONINFOEXW), major, minor, build, platform, {}, 0, 0, 0, 0, 0};
  std::wcsncpy(facts.version.szCSDVersion, service_pack, 127);
  facts.extended = true;
  return facts;
}

OsVersionFacts Win9x(DWORD minor, const wchar_t* service_pack) {
  return Record(VER_PLATFORM_WIN32_WINDOWS, 4, minor, 950, service_pack);
}

OsVersionFacts Nt(DWORD major, DWORD minor, BYTE product_type, WORD architecture, WORD suite = 0,
                  const wchar_t* service_pack = L"", DWORD build = 1000, DWORD product_info = 1) {
  OsVersionFacts facts = Record(VER_PLATFORM_WIN32_NT, major, minor, build, service_pack);
  facts.version.wProductType = product_type;
  facts.version.wSuiteMask = suite;
  facts.architecture = architecture;
  facts.product_info = product_info;
  return facts;
}

// Windows Server 2003 and its relatives, build 3790.
OsVersionFacts Nt52(BYTE product_type, WORD architecture, WORD suite, int server_r2 = 0) {
  OsVersionFacts facts = Nt(5, 2, product_type, architecture, suite, L"", 3790);
  facts.server_r2 = server_r2;
  return facts;
}

// NT 4.0 and earlier without the extended record: the edition comes from the
// registry's product option (null: unreadable).
OsVersionFacts WithoutExtended(OsVersionFacts facts, const wchar_t* product_option) {
  facts.extended = false;
  facts.version.wProductType = 0;
  facts.product_option_read = product_option != nullptr;
  facts.product_option = product_option ? product_option : L"";
  return facts;
}

OsVersionFacts WithHotfix(OsVersionFacts facts) {
  facts.sp6a_hotfix = true;
  return facts;
}

// Every description starts with "Microsoft ", which the rows leave out.
const struct {
  OsVersionFacts facts;
  unsigned long code;
  const wchar_t* tag;
  const wchar_t* description;
} kCases[] = {
    {Record(VER_PLATFORM_WIN32s, 3, 1, 0, L""), 0x100, L"win", L"Windows Unknown"},
    {Win9x(0, L" B"), 0x200, L"win", L"Windows 95  OSR2"},
    {Win9x(0, L" C"), 0x200, L"win", L"Windows 95  OSR2"},
    {Win9x(0, L" A"), 0x200, L"win", L"Windows 95 "},
    {Win9x(10, L""), 0x300, L"win", L"Windows 98 "},
    {Win9x(10, L" A "), 0x300, L"win", L"Windows 98  SE"},
    {Win9x(90, L" "), 0x400, L"win", L"Windows ME "},
    {Win9x(3, L""), 0, L"win", L""},
    {Record(VER_PLATFORM_WIN32_WINDOWS, 5, 0, 1, L""), 0, L"win", L""},
    {Record(3, 6, 1, 7601, L""), 0, L"win", L""},  // unknown platform

    {Nt(10, 0, kWorkstation, kAmd64, 0, L"", 19045, 48), 0x81900, L"win10_x64", L"Windows 10 , 64-bit (Build 19045)"},
    {Nt(10, 1, kWorkstation, kAmd64, 0, L"", 20000), 0x80000, L"win_x64", L", 64-bit (Build 20000)"},
    {Nt(11, 0, kWorkstation, kAmd64, 0, L"", 30000), 0x82000, L"win_x64", L", 64-bit (Build 30000)"},
    {Nt(7, 0, kServer, kX86, 0, L"SP", 1), 0x2000, L"win_x86", L", 32-bit SP (Build 1)"},
    {Nt(6, 5, kWorkstation, kAmd64, 0, L"", 1, 71), 0x80000, L"win_x64", L"Not supported, 64-bit (Build 1)"},
    {Nt(6, 4, kWorkstation, kAmd64, 0, L"", 9841, 48), 0x81900, L"win10_x64",
     L"Windows 10 Professional, 64-bit (Build 9841)"},
    {Nt(6, 3, kWorkstation, kAmd64, 0, L"", 9600, 4), 0x81800, L"win8_1_x64",
     L"Windows 8.1 Enterprise, 64-bit (Build 9600)"},
    {Nt(6, 2, kWorkstation, kX86, 0, L"", 9200, 3), 0x1700, L"win8_x86",
     L"Windows 8 Home Premium, 32-bit (Build 9200)"},
    {Nt(6, 1, kWorkstation, kAmd64, 0, L"SP1", 7601, 1), 0x81600, L"win7_x64",
     L"Windows 7 Ultimate, 64-bit SP1 (Build 7601)"},
    {Nt(6, 1, kServer, kAmd64, 0, L"SP1", 7601, 8), 0x8150B, L"win2008_r2_x64",
     L"Windows Server 2008 R2 Server Datacenter (full installation), 64-bit SP1 (Build 7601)"},
    {Nt(6, 1, kServer, kIa64, 0, L"", 7600, 15), 0x150B, L"win2008_r2",
     L"Windows Server 2008 R2 Server Enterprise for Itanium-based Systems (Build 7600)"},
    {Nt(6, 1, 7, kAmd64, 0, L"", 7601, 1), 0x8150B, L"win2008_r2_x64",  // unknown product type
     L"Windows Server 2008 R2 Ultimate, 64-bit (Build 7601)"},
    {Nt(6, 0, kWorkstation, kX86, 0, L"SP2", 6002, 6), 0x150A, L"winvista_x86",
     L"Windows Vista Business, 32-bit SP2 (Build 6002)"},
    {Nt(6, 0, kServer, kAmd64, 0, L"", 6001, 99), 0x8150B, L"win2008_x64",
     L"Windows Server 2008 (An unknown product), 64-bit (Build 6001)"},
    {Nt(6, 0, kServer, kAmd64, 0, L"", 6001, 0), 0x8150B, L"win2008_x64",
     L"Windows Server 2008 An unknown product, 64-bit (Build 6001)"},

    {Nt(5, 2, kWorkstation, kAmd64, 0, L"SP2", 3790), 0x81300, L"winxp_x64",
     L"Windows XP Professional x64 Edition SP2 (Build 3790)"},
    {Nt52(kWorkstation, kX86, 0), 0x1407, L"win2003", L"Windows Server 2003  (Build 3790)"},
    {Nt52(kServer, kX86, 0x80), 0x1404, L"win2003_x86", L"Windows Server 2003 Datacenter Edition (Build 3790)"},
    {Nt52(kServer, kX86, 0x4002), 0x1405, L"win2003_x86", L"Windows Server 2003 Compute Cluster Edition (Build 3790)"},
    {Nt52(kServer, kX86, 0x2), 0x1405, L"win2003_x86", L"Windows Server 2003 Enterprise Edition (Build 3790)"},
    {Nt52(kServer, kX86, 0x400), 0x1406, L"win2003_x86", L"Windows Server 2003 Web Edition (Build 3790)"},
    {Nt52(kController, kX86, 0x10), 0x1407, L"win2003_x86", L"Windows Server 2003 Standard Edition (Build 3790)"},
    {Nt52(kServer, kAmd64, 0x80, 1), 0x81404, L"win2003_r2_x64",
     L"Windows Server 2003 R2, Datacenter x64 Edition (Build 3790)"},
    {Nt52(kServer, kAmd64, 0x2), 0x81405, L"win2003_x64", L"Windows Server 2003 Enterprise x64 Edition (Build 3790)"},
    {Nt52(kServer, kAmd64, 0), 0x81407, L"win2003_x64", L"Windows Server 2003 Standard x64 Edition (Build 3790)"},
    {Nt52(kServer, kIa64, 0x80), 0x81404, L"win2003_ia64",
     L"Windows Server 2003 Datacenter Edition for Itanium-based Systems (Build 3790)"},
    {Nt52(kServer, kIa64, 0x2), 0x81405, L"win2003_ia64",
     L"Windows Server 2003 Enterprise Edition for Itanium-based Systems (Build 3790)"},
    {Nt52(kServer, kIa64, 0x400), 0x81406, L"win2003_ia64", L"Windows Server 2003  (Build 3790)"},
    {Nt52(kServer, kIa64, 0, 1), 0x81407, L"win2003_r2_ia64", L"Windows Server 2003 R2,  (Build 3790)"},
    {Nt52(kServer, kX86, 0x2000), 0x1407, L"win2003_x86", L"Windows Storage Server 2003Standard Edition (Build 3790)"},
    {Nt52(kWorkstation, kAmd64, 0x2000), 0x81407, L"win2003", L"Windows Storage Server 2003 (Build 3790)"},
    {Nt52(kWorkstation, kAmd64, 0x8000), 0x81407, L"winxp_x64", L"Windows XP Professional x64 Edition (Build 3790)"},
    {Nt(5, 1, kWorkstation, kX86, 0x200, L"SP3", 2600), 0x1302, L"winxp", L"Windows XP Home Edition SP3 (Build 2600)"},
    {Nt(5, 1, kWorkstation, kX86, 0x100, L"SP3", 2600), 0x1303, L"winxp", L"Windows XP Professional SP3 (Build 2600)"},
    {Nt(5, 1, kWorkstation, kAmd64, 0, L"", 2600), 0x81303, L"winxp", L"Windows XP Professional (Build 2600)"},
    {Nt(5, 0, kWorkstation, kAmd64, 0x80, L"SP4", 2195), 0x1203, L"win2000",
     L"Windows 2000 Professional SP4 (Build 2195)"},
    {Nt(5, 0, kServer, kX86, 0x82, L"", 2195), 0x1204, L"win2000", L"Windows 2000 Datacenter Server (Build 2195)"},
    {Nt(5, 0, kController, kX86, 0x2, L"", 2195), 0x1208, L"win2000", L"Windows 2000 Advanced Server (Build 2195)"},
    {Nt(5, 0, kServer, kX86, 0, L"", 2195), 0x1209, L"win2000", L"Windows 2000 Server (Build 2195)"},
    {Nt(5, 3, kWorkstation, kAmd64, 0, L"", 1), 0x80000, L"win", L" (Build 1)"},

    {Nt(4, 0, kWorkstation, kX86, 0, L"Service Pack 6", 1381), 0x1101, L"win",
     L"Windows NT Workstation Service Pack 6 (Build 1381)"},
    {WithHotfix(Nt(4, 0, kWorkstation, kX86, 0, L"service pack 6", 0x0A280565)), 0x1101, L"win",
     L"Windows NT Workstation Service Pack 6a (Build 1381)"},
    {WithHotfix(Nt(4, 0, kServer, kX86, 0, L"SP5", 1381)), 0x1109, L"win", L"Windows NT Server SP5 (Build 1381)"},
    {Nt(4, 0, kServer, kX86, 0x2, L"SP5", 1381), 0x1105, L"win", L"Windows NT Enterprise SP5 (Build 1381)"},
    {Nt(4, 0, kController, kAmd64, 0, L"", 1381), 0x1109, L"win", L"Windows NT Server  (Build 1381)"},
    {Nt(4, 0, 7, kX86, 0x2, L"Service Pack 6", 1381), 0x1100, L"win",  // unknown product type
     L"Windows NT Service Pack 6 (Build 1381)"},
    {WithoutExtended(Nt(4, 0, 0, kX86, 0, L"SP3", 1381), L"WINNT"), 0x1101, L"win",
     L"Windows NT Workstation  4.0SP3 (Build 1381)"},
    {WithoutExtended(Nt(4, 0, 0, kX86, 0, L"SP3", 1381), L"lanmannt"), 0x1109, L"win",
     L"Windows NT Server  4.0SP3 (Build 1381)"},
    {WithoutExtended(Nt(4, 0, 0, kX86, 0, L"", 1381), L"ServerNT"), 0x1108, L"win",
     L"Windows NT Advance Server  4.0 (Build 1381)"},
    {WithoutExtended(Nt(4, 0, 0, kX86, 0x2, L"", 1381), L"Terminal"), 0x1100, L"win", L"Windows NT  4.0 (Build 1381)"},
    {WithHotfix(WithoutExtended(Nt(4, 0, 0, kX86, 0, L"Service Pack 6", 1381), L"WINNT")), 0x1101, L"win",
     L"Windows NT Workstation  4.0Service Pack 6a (Build 1381)"},
    {Nt(3, 51, kWorkstation, kX86, 0, L"SP5", 1057), 0x1001, L"win", L"Windows NT Workstation SP5 (Build 1057)"},
    {WithHotfix(Nt(3, 51, kServer, kX86, 0, L"Service Pack 6", 1057)), 0x1009, L"win",  // no 6a before 4.0
     L"Windows NT Server Service Pack 6 (Build 1057)"},
    {WithoutExtended(Nt(3, 51, 0, kX86, 0, L"", 1057), L"LANMANNT"), 0x1009, L"win",
     L"Windows NT Server  3.51 (Build 1057)"},
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
}

TEST(OsVersionRules, UnreadableProductOptionOnOldNtFailsTheCodeAndEndsTheDescription) {
  const OsVersionFacts facts = WithoutExtended(Nt(4, 0, 0, kX86, 0, L"Service Pack 6", 1381), nullptr);
  unsigned long code = 0xDEADBEEF;
  EXPECT_FALSE(common::ComposeOsVersionCode(facts, &code));
  EXPECT_EQ(code, 0xDEADBEEFul);
  EXPECT_EQ(common::ComposeOsVersionDesc(facts), L"Microsoft Windows NT ");
  EXPECT_EQ(common::ComposeMiniOsVersionDesc(facts), L"win");
}

TEST(OsVersionRules, ServicePackTextWithoutTerminatorStaysInsideTheField) {
  OsVersionFacts facts = Nt(6, 1, kWorkstation, kAmd64, 0, L"", 7601, 1);
  std::wmemset(facts.version.szCSDVersion, L'S', 128);
  facts.version.wServicePackMajor = L'A';  // what a reader running past the field would take next
  facts.version.wServicePackMinor = L'B';
  EXPECT_EQ(common::ComposeOsVersionDesc(facts),
            L"Microsoft Windows 7 Ultimate, 64-bit " + std::wstring(128, L'S') + L" (Build 7601)");
}

// Rows above name editions; the types between and past the table's rows have none.
TEST(EditionTable, TypesWithoutARowHaveNoName) {
  for (const DWORD unnamed : {25ul, 72ul, 0xABCDEF01ul}) EXPECT_EQ(common::EditionName(unnamed), nullptr) << unnamed;
}

}  // namespace
