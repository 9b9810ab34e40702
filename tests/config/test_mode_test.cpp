#include "t_common/test_mode.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "sandbox.h"

namespace {

using config_testing::InSandboxTest;
using config_testing::Sandbox;

const char kPortFile[] =
    "[other]\r\nport=1\r\n\r\n[test]\r\nport=8080\r\nzero=0\r\nanswer=no\r\nname=  spaced value  \r\n";

// Each decision needs a process of its own: the flag is fixed by the first call.
TEST(TestMode, EachDecisionInASandboxOfItsOwn) {
  // What each sandbox holds: no name for nothing, no bytes for a folder.
  const struct { const char* test; const wchar_t* name; const char* bytes; } cases[] = {
      {"NoFile", L"ovktest.ini", kPortFile}, {"EmptyFile", L"ovktest", ""}, {"FileWithSettings", L"ovktest", kPortFile},
      {"FileDeletedAfterTheDecision", L"ovktest", kPortFile}, {"FileCreatedAfterTheDecision", nullptr, nullptr},
      {"FolderNamedOvktest", L"ovktest", nullptr}};
  for (const auto& c : cases) {
    Sandbox sandbox;
    if (c.name && c.bytes) {
      ASSERT_TRUE(testing_support::WriteBytes(sandbox.File(c.name), c.bytes));
    } else if (c.name) {
      ASSERT_TRUE(::CreateDirectoryW(sandbox.File(c.name).c_str(), nullptr));
    }
    EXPECT_EQ(sandbox.Run(std::string("TestModeInSandbox.") + c.test), 0) << c.test;
    EXPECT_EQ(sandbox.PassedCount(), 1) << c.test;
  }
}

class TestModeInSandbox : public InSandboxTest {};

// The three readings of key, each against its default.
void ExpectReadings(const wchar_t* key, int int_default, int int_value, bool bool_default, bool bool_value,
                    const wchar_t* string_default, const std::wstring& string_value) {
  EXPECT_EQ(common::GetTestValueInt(key, int_default), int_value) << key;
  EXPECT_EQ(common::GetTestValueBool(key, bool_default), bool_value) << key;
  EXPECT_EQ(common::GetTestValueString(key, string_default), string_value) << key;
}

void ExpectEveryValueIsItsDefault() {
  ExpectReadings(L"port", 7, 7, true, true, L"fallback", L"fallback");
  ExpectReadings(L"port", -3, -3, false, false, nullptr, L"");
}

TEST_F(TestModeInSandbox, NoFile) {
  EXPECT_FALSE(common::IsTestMode());
  ExpectEveryValueIsItsDefault();  // although ovktest.ini holds the key
}

TEST_F(TestModeInSandbox, EmptyFile) {
  EXPECT_TRUE(common::IsTestMode());
  ExpectEveryValueIsItsDefault();
}

TEST_F(TestModeInSandbox, FileWithSettings) {
  EXPECT_TRUE(common::IsTestMode());
  ExpectReadings(L"port", 1, 8080, false, true, L"x", L"8080");
  ExpectReadings(L"zero", 5, 0, true, false, L"x", L"0");
  ExpectReadings(L"answer", 5, 0, true, false, L"x", L"no");  // "no" has no digits: 0
  ExpectReadings(L"missing", 42, 42, true, true, L"fallback", L"fallback");
  ExpectReadings(nullptr, 9, 9, true, true, L"fallback", L"fallback");
  EXPECT_EQ(common::GetTestValueString(L"missing", std::wstring(400, L'd').c_str()), std::wstring(259, L'd'));
  EXPECT_EQ(common::GetTestValueString(L"missing", nullptr), L"");
}

TEST_F(TestModeInSandbox, FileDeletedAfterTheDecision) {
  ASSERT_TRUE(common::IsTestMode());
  EXPECT_EQ(common::GetTestValueInt(L"port", 1), 8080);
  ASSERT_TRUE(::DeleteFileW(OwnFile(L"ovktest").c_str()));
  EXPECT_TRUE(common::IsTestMode());
  ExpectReadings(L"port", 1, 1, true, true, L"gone", L"gone");
}

TEST_F(TestModeInSandbox, FileCreatedAfterTheDecision) {
  ASSERT_FALSE(common::IsTestMode());
  ASSERT_TRUE(testing_support::WriteBytes(OwnFile(L"ovktest"), kPortFile));
  EXPECT_FALSE(common::IsTestMode());
  EXPECT_EQ(common::GetTestValueInt(L"port", 1), 1);
}

TEST_F(TestModeInSandbox, FolderNamedOvktest) {
  EXPECT_TRUE(common::IsTestMode());
  ExpectEveryValueIsItsDefault();
}

}  // namespace
