// One Windows version per run: TQ_EXPECTED_WINDOWS names the `winecfg /v`
// version the prefix reports, and the expectations below are what that
// version must give by the rules, not what this Wine happens to print.
#include "t_common/os_version.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "sysinfo/os_version_facts.h"
#include "t_common/text.h"
#include "win/system_function.h"

namespace {

struct Expected {
  const char* windows;
  DWORD major, minor;
  unsigned long code;
  const wchar_t* tag;
  const wchar_t* description_start;
  bool has_edition;  // version 6 names its edition after the start
  bool xp, vista, win7, win8;
};

const Expected kVersions[] = {
    {"winxp64", 5, 2, 0x81300, L"winxp_x64", L"Microsoft Windows XP Professional x64 Edition", false, 1, 0, 0, 0},
    {"vista", 6, 0, 0x8150A, L"winvista_x64", L"Microsoft Windows Vista ", true, 1, 1, 0, 0},
    {"win2008", 6, 0, 0x8150B, L"win2008_x64", L"Microsoft Windows Server 2008 ", true, 1, 1, 0, 0},
    {"win2008r2", 6, 1, 0x8150B, L"win2008_r2_x64", L"Microsoft Windows Server 2008 R2 ", true, 1, 1, 0, 0},
    {"win7", 6, 1, 0x81600, L"win7_x64", L"Microsoft Windows 7 ", true, 1, 1, 1, 0},
    {"win8", 6, 2, 0x81700, L"win8_x64", L"Microsoft Windows 8 ", true, 1, 1, 1, 1},
    {"win81", 6, 3, 0x81800, L"win8_1_x64", L"Microsoft Windows 8.1 ", true, 1, 1, 1, 1},
    {"win10", 10, 0, 0x81900, L"win10_x64", L"Microsoft Windows 10 , 64-bit", false, 1, 1, 1, 1},
};

class VersionMatrix : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("TQ_EXPECTED_WINDOWS");
    if (!name) GTEST_SKIP() << "TQ_EXPECTED_WINDOWS names the version this prefix reports";
    for (const Expected& e : kVersions) {
      if (std::strcmp(e.windows, name) == 0) expected_ = &e;
    }
    ASSERT_NE(expected_, nullptr) << "no expectations for " << name;
  }
  const Expected* expected_ = nullptr;
};

OSVERSIONINFOEXW NtdllVersion() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  win::GetSystemFunction<LONG(WINAPI*)(OSVERSIONINFOEXW*)>(L"ntdll.dll", "RtlGetVersion")(&info);
  return info;
}

DWORD ProductInfo(DWORD major, DWORD minor) {
  DWORD type = 0;
  win::GetSystemFunction<BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*)>(L"kernel32.dll", "GetProductInfo")(
      major, minor, 0, 0, &type);
  return type;
}

TEST_F(VersionMatrix, CodeBuildAndShortTag) {
  unsigned long code = 0, build = 0;
  ASSERT_EQ(common::BV_GetOSVersion(&code, &build), 1);
  EXPECT_EQ(code, expected_->code) << std::hex << code;
  EXPECT_EQ(build, NtdllVersion().dwBuildNumber);
  wchar_t tag[20];
  ASSERT_EQ(common::BV_GetMiniOSVersionDescW(tag, 20), 1);
  EXPECT_STREQ(tag, expected_->tag);
  char narrow[20];
  ASSERT_EQ(common::BV_GetMiniOSVersionDescA(narrow, 20), 1);
  EXPECT_EQ(narrow, common::ws2s(expected_->tag, CP_ACP));
}

TEST_F(VersionMatrix, DescriptionStartEditionAndBuild) {
  std::wstring expected = expected_->description_start;
  if (expected_->has_edition) {
    const wchar_t* edition = common::EditionName(ProductInfo(expected_->major, expected_->minor));
    expected += std::wstring(edition ? edition : L"(An unknown product)") + L", 64-bit";
  }
  const OSVERSIONINFOEXW native = NtdllVersion();
  const std::wstring service_pack = native.szCSDVersion;
  if (!service_pack.empty()) expected += L" " + service_pack;
  expected += L" (Build " + std::to_wstring(native.dwBuildNumber) + L")";
  wchar_t wide[256];
  ASSERT_EQ(common::BV_GetOSVersionDescW(wide, 256), 1);
  EXPECT_EQ(std::wstring(wide), expected);
  char narrow[256];
  ASSERT_EQ(common::BV_GetOSVersionDescA(narrow, 256), 1);
  EXPECT_EQ(narrow, common::ws2s(expected, CP_ACP));
}

TEST_F(VersionMatrix, OrLaterAnswers) {
  for (int round = 0; round < 2; ++round) {  // the second round answers from the caches
    EXPECT_EQ(common::IsXpOrLater(), expected_->xp);
    EXPECT_EQ(common::IsVistaOrLater(), expected_->vista);
    EXPECT_EQ(common::IsWin7OrLater(), expected_->win7);
    EXPECT_EQ(common::IsWin8OrLater(), expected_->win8);
  }
  EXPECT_TRUE(common::IsX64System());
}

}  // namespace
