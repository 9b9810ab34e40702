// The exported version functions on the running system: records, buffers and
// the agreement between the code, the tag and the description.
#include "t_common/os_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sysinfo/export_lookup.h"
#include "t_common/text.h"

namespace {

OSVERSIONINFOEXW NtdllVersion() {
  const auto get_version = common::FunctionCast<LONG(WINAPI*)(OSVERSIONINFOEXW*)>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  get_version(&info);
  return info;
}

// A record in a larger block, so that writes past its size field show.
struct Block {
  unsigned char bytes[512];
  explicit Block(DWORD size_field) {
    std::memset(bytes, 0xA5, sizeof(bytes));
    std::memcpy(bytes, &size_field, sizeof(size_field));
  }
  bool UntouchedFrom(size_t offset) const {
    for (size_t i = offset; i < sizeof(bytes); ++i) {
      if (bytes[i] != 0xA5) return false;
    }
    return true;
  }
  template <typename T>
  T* as() { return reinterpret_cast<T*>(bytes); }
};

TEST(BvGetVersionExW, BothWideRecordsGetTheNativeVersionAndNoMore) {
  const OSVERSIONINFOEXW native = NtdllVersion();
  Block basic(sizeof(OSVERSIONINFOW));
  ASSERT_EQ(common::BV_GetVersionExW(basic.as<OSVERSIONINFOW>()), 1);
  EXPECT_EQ(basic.as<OSVERSIONINFOW>()->dwOSVersionInfoSize, sizeof(OSVERSIONINFOW));
  EXPECT_EQ(basic.as<OSVERSIONINFOW>()->dwMajorVersion, native.dwMajorVersion);
  EXPECT_EQ(basic.as<OSVERSIONINFOW>()->dwMinorVersion, native.dwMinorVersion);
  EXPECT_EQ(basic.as<OSVERSIONINFOW>()->dwBuildNumber, native.dwBuildNumber);
  EXPECT_STREQ(basic.as<OSVERSIONINFOW>()->szCSDVersion, native.szCSDVersion);
  EXPECT_TRUE(basic.UntouchedFrom(sizeof(OSVERSIONINFOW)));

  Block extended(sizeof(OSVERSIONINFOEXW));
  ASSERT_EQ(common::BV_GetVersionExW(extended.as<OSVERSIONINFOW>()), 1);
  const auto* ex = extended.as<OSVERSIONINFOEXW>();
  EXPECT_EQ(ex->dwPlatformId, native.dwPlatformId);
  EXPECT_EQ(ex->wServicePackMajor, native.wServicePackMajor);
  EXPECT_EQ(ex->wSuiteMask, native.wSuiteMask);
  DWORD product_type = 1;
  common::FunctionCast<BOOLEAN(WINAPI*)(DWORD*)>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetNtProductType"))(&product_type);
  EXPECT_EQ(ex->wProductType, static_cast<BYTE>(product_type));
  EXPECT_TRUE(extended.UntouchedFrom(sizeof(OSVERSIONINFOEXW)));
}

TEST(BvGetVersionExW, OtherSizesGoToTheSystemAndFailWithItsErrorText) {
  for (DWORD size : {0u, 100u, 277u, 300u}) {
    SCOPED_TRACE(size);
    Block block(size);
    OSVERSIONINFOW* info = block.as<OSVERSIONINFOW>();
    ::SetLastError(0);
    ASSERT_EQ(common::BV_GetVersionExW(info), 0);
    wchar_t expected[16];
    std::swprintf(expected, 16, L"1_%lX", static_cast<unsigned long>(::GetLastError()));
    if (size >= (std::wcslen(expected) + 1) * sizeof(wchar_t)) {
      EXPECT_STREQ(reinterpret_cast<const wchar_t*>(block.bytes), expected);
      EXPECT_TRUE(block.UntouchedFrom((std::wcslen(expected) + 1) * sizeof(wchar_t)));
    } else {
      EXPECT_EQ(info->dwOSVersionInfoSize, size);  // no room for the text: untouched
      EXPECT_TRUE(block.UntouchedFrom(sizeof(DWORD)));
    }
  }
  EXPECT_EQ(common::BV_GetVersionExW(nullptr), 0);
}

TEST(BvGetVersionExA, NarrowRecordsCarryTheWideFields) {
  OSVERSIONINFOEXW wide = {};
  wide.dwOSVersionInfoSize = sizeof(wide);
  ASSERT_EQ(common::BV_GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&wide)), 1);

  Block basic(sizeof(OSVERSIONINFOA));
  ASSERT_EQ(common::BV_GetVersionExA(basic.as<OSVERSIONINFOA>()), 1);
  const auto* a = basic.as<OSVERSIONINFOA>();
  EXPECT_EQ(a->dwOSVersionInfoSize, sizeof(OSVERSIONINFOA));
  EXPECT_EQ(a->dwMajorVersion, wide.dwMajorVersion);
  EXPECT_EQ(a->dwMinorVersion, wide.dwMinorVersion);
  EXPECT_EQ(a->dwBuildNumber, wide.dwBuildNumber);
  EXPECT_EQ(a->dwPlatformId, wide.dwPlatformId);
  EXPECT_EQ(std::string(a->szCSDVersion), common::ws2s(wide.szCSDVersion, CP_ACP));
  EXPECT_TRUE(basic.UntouchedFrom(sizeof(OSVERSIONINFOA)));

  Block extended(sizeof(OSVERSIONINFOEXA));
  ASSERT_EQ(common::BV_GetVersionExA(extended.as<OSVERSIONINFOA>()), 1);
  const auto* ex = extended.as<OSVERSIONINFOEXA>();
  EXPECT_EQ(ex->wServicePackMajor, wide.wServicePackMajor);
  EXPECT_EQ(ex->wServicePackMinor, wide.wServicePackMinor);
  EXPECT_EQ(ex->wSuiteMask, wide.wSuiteMask);
  EXPECT_EQ(ex->wProductType, wide.wProductType);
  EXPECT_EQ(ex->wReserved, wide.wReserved);
  EXPECT_TRUE(extended.UntouchedFrom(sizeof(OSVERSIONINFOEXA)));
}

TEST(BvGetVersionExA, OtherSizesAreTheSystemsAnswer) {
  Block block(100);
  EXPECT_EQ(common::BV_GetVersionExA(block.as<OSVERSIONINFOA>()), 0);
  EXPECT_EQ(block.as<OSVERSIONINFOA>()->dwOSVersionInfoSize, 100u);  // no failure text in the narrow form
  EXPECT_EQ(common::BV_GetVersionExA(nullptr), 0);
}

TEST(BvGetOSVersion, OutputsAreOptionalAndAgree) {
  unsigned long code = 0, build = 0;
  ASSERT_EQ(common::BV_GetOSVersion(&code, &build), 1);
  EXPECT_EQ(build, NtdllVersion().dwBuildNumber);
  EXPECT_NE(code & common::kOsFamilyMask, 0u);
  unsigned long code_only = 0, build_only = 0;
  EXPECT_EQ(common::BV_GetOSVersion(&code_only, nullptr), 1);
  EXPECT_EQ(common::BV_GetOSVersion(nullptr, &build_only), 1);
  EXPECT_EQ(common::BV_GetOSVersion(nullptr, nullptr), 1);
  EXPECT_EQ(code_only, code);
  EXPECT_EQ(build_only, build);
  EXPECT_EQ(code & ~(0xFFFFul | common::kOsVersion64Bit), 0u);  // no other bits
}

TEST(OsVersionDescriptions, CapacitiesBelowTheMinimumWriteNothing) {
  wchar_t wide[300];
  char narrow[300];
  std::wmemset(wide, L'#', 300);
  std::memset(narrow, '#', 300);
  EXPECT_EQ(common::BV_GetMiniOSVersionDescW(wide, 19), 0);
  EXPECT_EQ(common::BV_GetMiniOSVersionDescA(narrow, 19), 0);
  EXPECT_EQ(common::BV_GetOSVersionDescW(wide, 255), 0);
  EXPECT_EQ(common::BV_GetOSVersionDescA(narrow, 255), 0);
  EXPECT_EQ(common::BV_GetMiniOSVersionDescW(wide, 0), 0);
  EXPECT_EQ(wide[0], L'#');
  EXPECT_EQ(narrow[0], '#');
  EXPECT_EQ(common::BV_GetMiniOSVersionDescW(nullptr, 20), 0);
  EXPECT_EQ(common::BV_GetMiniOSVersionDescA(nullptr, 20), 0);
  EXPECT_EQ(common::BV_GetOSVersionDescW(nullptr, 256), 0);
  EXPECT_EQ(common::BV_GetOSVersionDescA(nullptr, 256), 0);

  EXPECT_EQ(common::BV_GetMiniOSVersionDescW(wide, 20), 1);
  EXPECT_EQ(common::BV_GetMiniOSVersionDescA(narrow, 20), 1);
  EXPECT_EQ(common::ws2s(wide, CP_ACP), narrow);
  EXPECT_EQ(std::wstring(wide).substr(0, 3), L"win");
  EXPECT_EQ(common::BV_GetOSVersionDescW(wide, 256), 1);
  EXPECT_EQ(common::BV_GetOSVersionDescA(narrow, 256), 1);
  EXPECT_EQ(common::ws2s(wide, CP_ACP), narrow);
  EXPECT_EQ(std::wstring(wide).substr(0, 10), L"Microsoft ");
}

}  // namespace
