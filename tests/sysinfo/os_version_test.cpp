// The exported version functions on the running system: the records compared
// with ntdll's own, the failure texts, optional outputs and buffer capacities.
#include "t_common/os_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sysinfo/native_version.h"
#include "win/system_function.h"
#include "t_common/text.h"

namespace {

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
  DWORD size_field() const {
    DWORD size;
    std::memcpy(&size, bytes, sizeof(size));
    return size;
  }
};

OSVERSIONINFOEXW NtdllVersion() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  win::GetSystemFunction<LONG(WINAPI*)(OSVERSIONINFOEXW*)>(L"ntdll.dll", "RtlGetVersion")(&info);
  DWORD product_type = 1;
  win::GetSystemFunction<BOOLEAN(WINAPI*)(DWORD*)>(L"ntdll.dll", "RtlGetNtProductType")(&product_type);
  info.wProductType = static_cast<BYTE>(product_type);
  return info;
}

TEST(BvGetVersionEx, NativeQueryAndRecordsOfTheFourSizesGetNtdllsVersionAndNoMore) {
  const OSVERSIONINFOEXW native = NtdllVersion();
  OSVERSIONINFOEXW queried;
  std::memset(&queried, 0xCC, sizeof(queried));
  ASSERT_EQ(common::QueryNativeVersion(&queried), 1);
  EXPECT_EQ(std::memcmp(&queried, &native, sizeof(native)), 0);
  const auto* native_bytes = reinterpret_cast<const unsigned char*>(&native);
  for (DWORD size : {276u, 284u}) {
    SCOPED_TRACE(size);
    Block block(size);
    ASSERT_EQ(common::BV_GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(block.bytes)), 1);
    EXPECT_EQ(block.size_field(), size);
    EXPECT_EQ(std::memcmp(block.bytes + 4, native_bytes + 4, size - 4), 0);
    EXPECT_TRUE(block.UntouchedFrom(size));
  }
  for (DWORD size : {148u, 156u}) {
    SCOPED_TRACE(size);
    Block block(size);
    ASSERT_EQ(common::BV_GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(block.bytes)), 1);
    const auto* narrow = reinterpret_cast<const OSVERSIONINFOEXA*>(block.bytes);
    EXPECT_EQ(block.size_field(), size);
    EXPECT_EQ(std::memcmp(block.bytes + 4, native_bytes + 4, 16), 0);  // major, minor, build, platform
    EXPECT_EQ(std::string(narrow->szCSDVersion), common::ws2s(native.szCSDVersion, CP_ACP));
    if (size == 156) {  // service pack, suite, product type and reserved byte
      EXPECT_EQ(std::memcmp(&narrow->wServicePackMajor, &native.wServicePackMajor, 8), 0);
    }
    EXPECT_TRUE(block.UntouchedFrom(size));
  }
}

TEST(BvGetVersionEx, OtherSizesGoToTheSystemAndTheWideFormWritesItsErrorText) {
  for (DWORD size : {0u, 100u, 277u, 300u}) {
    SCOPED_TRACE(size);
    Block block(size);
    ::SetLastError(0);
    ASSERT_EQ(common::BV_GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(block.bytes)), 0);
    wchar_t expected[16];
    std::swprintf(expected, 16, L"1_%lX", static_cast<unsigned long>(::GetLastError()));
    const size_t text_bytes = (std::wcslen(expected) + 1) * sizeof(wchar_t);
    if (size >= text_bytes) {
      EXPECT_STREQ(reinterpret_cast<const wchar_t*>(block.bytes), expected);
      EXPECT_TRUE(block.UntouchedFrom(text_bytes));
    } else {
      EXPECT_EQ(block.size_field(), size);  // no room for the text: untouched
      EXPECT_TRUE(block.UntouchedFrom(sizeof(DWORD)));
    }
  }
  Block narrow(100);
  EXPECT_EQ(common::BV_GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(narrow.bytes)), 0);
  EXPECT_EQ(narrow.size_field(), 100u);  // no failure text in the narrow form
  EXPECT_TRUE(narrow.UntouchedFrom(sizeof(DWORD)));
  EXPECT_EQ(common::BV_GetVersionExW(nullptr), 0);
  EXPECT_EQ(common::BV_GetVersionExA(nullptr), 0);
}

TEST(BvGetOSVersion, OutputsAreOptional) {
  unsigned long code = 0, build = 0, code_only = 0, build_only = 0;
  ASSERT_EQ(common::BV_GetOSVersion(&code, &build), 1);
  EXPECT_EQ(common::BV_GetOSVersion(&code_only, nullptr), 1);
  EXPECT_EQ(common::BV_GetOSVersion(nullptr, &build_only), 1);
  EXPECT_EQ(common::BV_GetOSVersion(nullptr, nullptr), 1);
  EXPECT_EQ(code_only, code);
  EXPECT_EQ(build_only, build);
}

// What fits is checked per Windows version in os_version_matrix_test.
TEST(OsVersionDescriptions, CapacitiesBelowTheMinimumWriteNothing) {
  wchar_t wide[256];
  char narrow[256];
  std::wmemset(wide, L'#', 256);
  std::memset(narrow, '#', 256);
  EXPECT_EQ(common::BV_GetMiniOSVersionDescW(wide, 19), 0);
  EXPECT_EQ(common::BV_GetMiniOSVersionDescA(narrow, 19), 0);
  EXPECT_EQ(common::BV_GetOSVersionDescW(wide, 255), 0);
  EXPECT_EQ(common::BV_GetOSVersionDescA(narrow, 255), 0);
  EXPECT_EQ(wide[0], L'#');
  EXPECT_EQ(narrow[0], '#');
  EXPECT_EQ(common::BV_GetMiniOSVersionDescW(nullptr, 20), 0);
  EXPECT_EQ(common::BV_GetMiniOSVersionDescA(nullptr, 20), 0);
  EXPECT_EQ(common::BV_GetOSVersionDescW(nullptr, 256), 0);
  EXPECT_EQ(common::BV_GetOSVersionDescA(nullptr, 256), 0);
}

}  // namespace
