// Both files lie beside the executable: each test gives the program a
// temporary folder as its own. Test mode is decided once per process, so each
// decision runs in a child of this program.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "foundation/executable_path_override.h"
#include "support/test_support.h"
#include "t_common/channel.h"
#include "t_common/test_mode.h"

namespace {

using testing_support::WriteBytes;

constexpr wchar_t kFolderVariable[] = L"TQ_TEST_MODE_FOLDER";
const char kPortFile[] =
    "[other]\r\nport=1\r\n\r\n[test]\r\nport=8080\r\nzero=0\r\nanswer=no\r\nname=  spaced value  \r\n";

TEST(TestMode, EachDecisionInAProcessOfItsOwn) {
  // What each folder holds: no bytes for a folder.
  const struct {
    const char* test;
    const wchar_t* name;
    const char* bytes;
  } cases[] = {{"NoFileThenOneCreated", L"ovktest.ini", kPortFile}, {"OnWithEveryValueItsDefault", L"ovktest", ""},
               {"OnWithEveryValueItsDefault", L"ovktest", nullptr}, {"FileWithSettingsThenDeleted", L"ovktest", kPortFile}};
  for (const auto& c : cases) {
    const testing_support::ScopedTempDir folder;
    ASSERT_TRUE(c.bytes ? WriteBytes(folder.Child(c.name), c.bytes) : ::CreateDirectoryW(folder.Child(c.name).c_str(), nullptr));
    EXPECT_EQ(testing_support::RunSelfInChild(std::string("TestModeInChild.") + c.test, {{kFolderVariable, folder.path()}}), 0)
        << c.test << (c.bytes ? "" : " (folder)");
  }
}

// Runs only in a child started above, with the folder as the program's own.
class TestModeInChild : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t folder[MAX_PATH] = {};
    if (!testing_support::IsChildRun() || !::GetEnvironmentVariableW(kFolderVariable, folder, MAX_PATH))
      GTEST_SKIP() << "runs only in a child of TestMode.EachDecisionInAProcessOfItsOwn";
    test_file_ = std::wstring(folder) + L"\\ovktest";
    executable_ = std::make_unique<common::ScopedExecutablePathOverride>(std::wstring(folder) + L"\\client.exe");
  }
  std::wstring test_file_;
  std::unique_ptr<common::ScopedExecutablePathOverride> executable_;
};

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

// Ovktest.ini holds the keys; an ovktest made after the decision changes nothing.
TEST_F(TestModeInChild, NoFileThenOneCreated) {
  EXPECT_FALSE(common::IsTestMode());
  ExpectEveryValueIsItsDefault();
  ASSERT_TRUE(WriteBytes(test_file_, kPortFile));
  EXPECT_FALSE(common::IsTestMode());
  EXPECT_EQ(common::GetTestValueInt(L"port", 1), 1);
}

// An empty ovktest, or a folder of that name.
TEST_F(TestModeInChild, OnWithEveryValueItsDefault) {
  EXPECT_TRUE(common::IsTestMode());
  ExpectEveryValueIsItsDefault();
}

TEST_F(TestModeInChild, FileWithSettingsThenDeleted) {
  EXPECT_TRUE(common::IsTestMode());
  ExpectReadings(L"port", 1, 8080, false, true, L"x", L"8080");
  ExpectReadings(L"zero", 5, 0, true, false, L"x", L"0");
  ExpectReadings(L"answer", 5, 0, true, false, L"x", L"no");  // "no" has no digits: 0
  ExpectReadings(L"missing", 42, 42, true, true, L"fallback", L"fallback");
  ExpectReadings(nullptr, 9, 9, true, true, L"fallback", L"fallback");
  EXPECT_EQ(common::GetTestValueString(L"missing", std::wstring(400, L'd').c_str()), std::wstring(259, L'd'));
  EXPECT_EQ(common::GetTestValueString(L"missing", nullptr), L"");
  // Test mode stays on, but the values look for the file again.
  ASSERT_TRUE(::DeleteFileW(test_file_.c_str()));
  EXPECT_TRUE(common::IsTestMode());
  ExpectReadings(L"port", 1, 1, true, true, L"gone", L"gone");
}

// Nothing is cached: each row follows the one before in the same process.
TEST(Channel, FirstLineOfTheFileOrUnknow) {
  const testing_support::ScopedTempDir folder;
  const common::ScopedExecutablePathOverride executable(folder.Child(L"client.exe"));
  const std::wstring channel_file = folder.Child(L".channel");
  EXPECT_EQ(common::GetChannel(), L"unknow");
  const std::pair<std::string, std::wstring> rows[] = {
      {"store_a\nstore_b\n", L"store_a"},
      {"partner42", L"partner42"},
      {"", L""},  // an empty file or first line is a channel, not "unknow"
      {"\nsecond\n", L""},
      {"official\r\nother\r\n", L"official"},
      {"\xe6\xb8\xa0\xe9\x81\x93-\xc3\xa4\n", L"\u6e20\u9053-\u00e4"},
      {"\xef\xbb\xbfweb\r\n", L"\ufeffweb"},  // the byte-order mark stays
  };
  for (const auto& [bytes, channel] : rows) {
    ASSERT_TRUE(WriteBytes(channel_file, bytes));
    EXPECT_EQ(common::GetChannel(), channel) << bytes;
  }
  ASSERT_TRUE(::DeleteFileW(channel_file.c_str()));
  EXPECT_EQ(common::GetChannel(), L"unknow");
  ASSERT_TRUE(::CreateDirectoryW(channel_file.c_str(), nullptr));
  EXPECT_EQ(common::GetChannel(), L"unknow");  // a folder of that name
}

}  // namespace
