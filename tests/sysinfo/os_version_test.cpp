// The exported version functions on the running system, run once per Windows
// version (TQ_EXPECTED_WINDOWS names the prefix's `winecfg /v` version).
#include "t_common/os_version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "sysinfo/os_version_facts.h"
#include "t_common/text.h"
#include "win/system_function.h"

namespace {

OSVERSIONINFOEXW NtdllVersion() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  win::GetSystemFunction<LONG(WINAPI*)(OSVERSIONINFOEXW*)>(L"ntdll.dll", "RtlGetVersion")(&info);
  DWORD product_type = 1;
  win::GetSystemFunction<BOOLEAN(WINAPI*)(DWORD*)>(L"ntdll.dll", "RtlGetNtProductType")(&product_type);
  info.wProductType = static_cast<BYTE>(product_type);
  return info;
}

// A record in a larger block, so that writes past its size field show.
struct Block {
  explicit Block(DWORD size) {
    std::memset(bytes, 0xA5, sizeof(bytes));
    std::memcpy(bytes, &size, sizeof(size));
  }
  bool UntouchedFrom(size_t offset) const {
    return std::all_of(bytes + offset, std::end(bytes), [](unsigned char b) { return b == 0xA5; });
  }
  template <typename Record> Record* As() { return reinterpret_cast<Record*>(bytes); }
  unsigned char bytes[512];
};

// The wide forms copy everything but the size field; the narrow ones major, minor, build and
// platform, the converted service pack and in the larger form the fields after it.
TEST(BvGetVersionEx, RecordsOfTheFourSizesGetNtdllsVersionAndNoMore) {
  const OSVERSIONINFOEXW native = NtdllVersion();
  for (DWORD size : {276u, 284u, 148u, 156u}) {
    SCOPED_TRACE(size);
    Block block(size);
    const bool wide = size > sizeof(OSVERSIONINFOEXA);
    const auto* narrow = block.As<OSVERSIONINFOEXA>();
    ASSERT_EQ(1, wide ? common::BV_GetVersionExW(block.As<OSVERSIONINFOW>())
                      : common::BV_GetVersionExA(block.As<OSVERSIONINFOA>()));
    EXPECT_EQ(narrow->dwOSVersionInfoSize, size);
    EXPECT_TRUE(block.UntouchedFrom(size));
    EXPECT_EQ(std::memcmp(block.bytes + 4, &native.dwMajorVersion, wide ? size - 4 : 16), 0);
    EXPECT_TRUE(wide || narrow->szCSDVersion == common::ws2s(native.szCSDVersion, CP_ACP));
    EXPECT_TRUE(size != 156 || std::memcmp(&narrow->wServicePackMajor, &native.wServicePackMajor, 8) == 0);
  }
}

// Other sizes go to the system, which refuses them; the wide form writes "1_<error>" where it fits.
TEST(BvGetVersionEx, OtherSizesGoToTheSystemAndTheWideFormWritesItsErrorText) {
  for (DWORD size : {0u, 100u, 277u, 300u}) {
    SCOPED_TRACE(size);
    Block block(size), narrow(size);
    ::SetLastError(0);
    ASSERT_EQ(common::BV_GetVersionExW(block.As<OSVERSIONINFOW>()), 0);
    wchar_t expected[16];
    const size_t text_bytes = (std::swprintf(expected, 16, L"1_%lX", ::GetLastError()) + 1) * sizeof(wchar_t);
    const bool room = size >= text_bytes;  // without room for the text, untouched
    EXPECT_TRUE(room ? std::wcscmp(block.As<wchar_t>(), expected) == 0 : *block.As<DWORD>() == size);
    EXPECT_TRUE(block.UntouchedFrom(room ? text_bytes : 4));
    EXPECT_EQ(common::BV_GetVersionExA(narrow.As<OSVERSIONINFOA>()), 0);
    EXPECT_EQ(*narrow.As<DWORD>(), size);  // no failure text in the narrow form
    EXPECT_TRUE(narrow.UntouchedFrom(4));
  }
  EXPECT_EQ(common::BV_GetVersionExW(nullptr), 0);
  EXPECT_EQ(common::BV_GetVersionExA(nullptr), 0);
}

// What each version must give by the rules, not what this Wine happens to print.
const struct Expected {
  const char* windows;
  unsigned long code;
  const wchar_t* tag;
  const wchar_t* description_start;
  bool has_edition;  // version 6 names its edition after the start
  bool xp, vista, win7, win8;
} kVersions[] = {
    {"winxp64", 0x81300, L"winxp_x64", L"Microsoft Windows XP Professional x64 Edition", false, 1, 0, 0, 0},
    {"vista", 0x8150A, L"winvista_x64", L"Microsoft Windows Vista ", true, 1, 1, 0, 0},
    {"win2008", 0x8150B, L"win2008_x64", L"Microsoft Windows Server 2008 ", true, 1, 1, 0, 0},
    {"win2008r2", 0x8150B, L"win2008_r2_x64", L"Microsoft Windows Server 2008 R2 ", true, 1, 1, 0, 0},
    {"win7", 0x81600, L"win7_x64", L"Microsoft Windows 7 ", true, 1, 1, 1, 0},
    {"win8", 0x81700, L"win8_x64", L"Microsoft Windows 8 ", true, 1, 1, 1, 1},
    {"win81", 0x81800, L"win8_1_x64", L"Microsoft Windows 8.1 ", true, 1, 1, 1, 1},
    {"win10", 0x81900, L"win10_x64", L"Microsoft Windows 10 , 64-bit", false, 1, 1, 1, 1},
};

// Both forms of a description: nothing written below the minimum capacity or
// without a buffer, else the expected text (narrow: in the ANSI code page).
template <unsigned long kMinimum>
void ExpectBothForms(int (*wide_form)(wchar_t*, unsigned long), int (*narrow_form)(char*, unsigned long),
                     const std::wstring& expected) {
  wchar_t wide[kMinimum] = {L'#'};
  char narrow[kMinimum] = {'#'};
  EXPECT_EQ(wide_form(wide, kMinimum - 1) + narrow_form(narrow, kMinimum - 1), 0);
  EXPECT_EQ(wide_form(nullptr, kMinimum) + narrow_form(nullptr, kMinimum), 0);
  EXPECT_EQ(wide[0], L'#');
  EXPECT_EQ(narrow[0], '#');
  ASSERT_EQ(wide_form(wide, kMinimum) + narrow_form(narrow, kMinimum), 2);
  EXPECT_EQ(std::wstring(wide), expected);
  EXPECT_EQ(narrow, common::ws2s(expected, CP_ACP));
}

// Everything the exported functions say about the prefix's version.
TEST(VersionMatrix, CodeBuildTagDescriptionAndOrLaterAnswers) {
  const char* name = std::getenv("TQ_EXPECTED_WINDOWS");
  const Expected* expected = nullptr;
  for (const Expected& e : kVersions)
    if (name && std::strcmp(e.windows, name) == 0) expected = &e;
  ASSERT_NE(expected, nullptr) << "no expectations for TQ_EXPECTED_WINDOWS=" << (name ? name : "");
  const OSVERSIONINFOEXW native = NtdllVersion();
  unsigned long code = 0, build = 0, code_only = 0, build_only = 0;
  ASSERT_EQ(common::BV_GetOSVersion(&code, &build), 1);
  EXPECT_EQ(code, expected->code) << std::hex << code;
  EXPECT_EQ(build, native.dwBuildNumber);
  // Either output may be left out.
  EXPECT_EQ(common::BV_GetOSVersion(&code_only, nullptr) + common::BV_GetOSVersion(nullptr, &build_only), 2);
  EXPECT_EQ(common::BV_GetOSVersion(nullptr, nullptr), 1);
  EXPECT_EQ(code_only, code);
  EXPECT_EQ(build_only, build);
  ExpectBothForms<20>(&common::BV_GetMiniOSVersionDescW, &common::BV_GetMiniOSVersionDescA, expected->tag);

  std::wstring description = expected->description_start;
  if (expected->has_edition) {
    DWORD product_type = 0;
    ::GetProductInfo(native.dwMajorVersion, native.dwMinorVersion, 0, 0, &product_type);
    const wchar_t* edition = common::EditionName(product_type);
    description += std::wstring(edition ? edition : L"(An unknown product)") + L", 64-bit";
  }
  if (native.szCSDVersion[0]) description += L" " + std::wstring(native.szCSDVersion);
  description += L" (Build " + std::to_wstring(native.dwBuildNumber) + L")";
  ExpectBothForms<256>(&common::BV_GetOSVersionDescW, &common::BV_GetOSVersionDescA, description);

  for (int round = 0; round < 2; ++round) {  // the second round answers from the caches
    EXPECT_EQ(common::IsXpOrLater(), expected->xp);
    EXPECT_EQ(common::IsVistaOrLater(), expected->vista);
    EXPECT_EQ(common::IsWin7OrLater(), expected->win7);
    EXPECT_EQ(common::IsWin8OrLater(), expected->win8);
  }
  EXPECT_TRUE(common::IsX64System());
}

}  // namespace
