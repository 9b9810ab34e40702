#include "t_common/test_mode.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "sandbox.h"

namespace {

using config_testing::InCopyTest;
using config_testing::Sandbox;

const char kPortFile[] =
    "[other]\r\nport=1\r\n\r\n[test]\r\nport=8080\r\nzero=0\r\nanswer=no\r\nname=  spaced value  \r\n";

// Each decision needs a process of its own: the flag is fixed by the first call.
void ExpectPassesInCopy(Sandbox& sandbox, const std::string& test) {
  ASSERT_TRUE(sandbox.ready());
  EXPECT_EQ(sandbox.Run("TestModeInCopy." + test), 0);
  EXPECT_EQ(sandbox.PassedCount(), 1);
}

TEST(TestMode, NoFile) {
  Sandbox sandbox;
  ASSERT_TRUE(testing_support::WriteBytes(sandbox.File(L"ovktest.ini"), kPortFile));
  ExpectPassesInCopy(sandbox, "NoFile");
}

TEST(TestMode, EmptyFile) {
  Sandbox sandbox;
  ASSERT_TRUE(testing_support::WriteBytes(sandbox.File(L"ovktest"), ""));
  ExpectPassesInCopy(sandbox, "EmptyFile");
}

TEST(TestMode, FileWithSettings) {
  Sandbox sandbox;
  ASSERT_TRUE(testing_support::WriteBytes(sandbox.File(L"ovktest"), kPortFile));
  ExpectPassesInCopy(sandbox, "FileWithSettings");
}

TEST(TestMode, FileDeletedAfterTheDecision) {
  Sandbox sandbox;
  ASSERT_TRUE(testing_support::WriteBytes(sandbox.File(L"ovktest"), kPortFile));
  ExpectPassesInCopy(sandbox, "FileDeletedAfterTheDecision");
}

TEST(TestMode, FileCreatedAfterTheDecision) {
  Sandbox sandbox;
  ExpectPassesInCopy(sandbox, "FileCreatedAfterTheDecision");
}

TEST(TestMode, FolderNamedOvktest) {
  Sandbox sandbox;
  ASSERT_TRUE(::CreateDirectoryW(sandbox.File(L"ovktest").c_str(), nullptr));
  ExpectPassesInCopy(sandbox, "FolderNamedOvktest");
}

class TestModeInCopy : public InCopyTest {};

void ExpectEveryValueIsItsDefault() {
  EXPECT_EQ(common::GetTestValueInt(L"port", 7), 7);
  EXPECT_EQ(common::GetTestValueInt(L"port", -3), -3);
  EXPECT_TRUE(common::GetTestValueBool(L"port", true));
  EXPECT_FALSE(common::GetTestValueBool(L"port", false));
  EXPECT_EQ(common::GetTestValueString(L"port", L"fallback"), L"fallback");
  EXPECT_EQ(common::GetTestValueString(L"port", nullptr), L"");
}

TEST_F(TestModeInCopy, NoFile) {
  EXPECT_FALSE(common::IsTestMode());
  ExpectEveryValueIsItsDefault();  // although ovktest.ini holds the key
}

TEST_F(TestModeInCopy, EmptyFile) {
  EXPECT_TRUE(common::IsTestMode());
  ExpectEveryValueIsItsDefault();
}

TEST_F(TestModeInCopy, FileWithSettings) {
  EXPECT_TRUE(common::IsTestMode());
  EXPECT_EQ(common::GetTestValueInt(L"port", 1), 8080);
  EXPECT_TRUE(common::GetTestValueBool(L"port", false));
  EXPECT_EQ(common::GetTestValueString(L"port", L"x"), L"8080");

  EXPECT_FALSE(common::GetTestValueBool(L"zero", true));
  EXPECT_EQ(common::GetTestValueInt(L"zero", 5), 0);
  EXPECT_FALSE(common::GetTestValueBool(L"answer", true));  // "no" has no digits: 0
  EXPECT_EQ(common::GetTestValueInt(L"answer", 5), 0);
  EXPECT_EQ(common::GetTestValueString(L"answer", L"x"), L"no");

  EXPECT_EQ(common::GetTestValueInt(L"missing", 42), 42);
  EXPECT_TRUE(common::GetTestValueBool(L"missing", true));
  EXPECT_EQ(common::GetTestValueString(L"missing", L"fallback"), L"fallback");
  EXPECT_EQ(common::GetTestValueString(L"missing", std::wstring(400, L'd').c_str()), std::wstring(259, L'd'));
  EXPECT_EQ(common::GetTestValueString(L"missing", nullptr), L"");

  EXPECT_EQ(common::GetTestValueInt(nullptr, 9), 9);
  EXPECT_TRUE(common::GetTestValueBool(nullptr, true));
  EXPECT_EQ(common::GetTestValueString(nullptr, L"fallback"), L"fallback");
}

TEST_F(TestModeInCopy, FileDeletedAfterTheDecision) {
  ASSERT_TRUE(common::IsTestMode());
  EXPECT_EQ(common::GetTestValueInt(L"port", 1), 8080);
  ASSERT_TRUE(::DeleteFileW(OwnFile(L"ovktest").c_str()));
  EXPECT_TRUE(common::IsTestMode());
  EXPECT_EQ(common::GetTestValueInt(L"port", 1), 1);
  EXPECT_TRUE(common::GetTestValueBool(L"port", true));
  EXPECT_EQ(common::GetTestValueString(L"port", L"gone"), L"gone");
}

TEST_F(TestModeInCopy, FileCreatedAfterTheDecision) {
  ASSERT_FALSE(common::IsTestMode());
  ASSERT_TRUE(testing_support::WriteBytes(OwnFile(L"ovktest"), kPortFile));
  EXPECT_FALSE(common::IsTestMode());
  EXPECT_EQ(common::GetTestValueInt(L"port", 1), 1);
}

TEST_F(TestModeInCopy, FolderNamedOvktest) {
  EXPECT_TRUE(common::IsTestMode());
  ExpectEveryValueIsItsDefault();
}

}  // namespace
