#include "t_common/path_placeholders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/test_support.h"

namespace {

std::wstring Converted(std::wstring path, bool data_from_shell = false, bool x86_program_files = false) {
  common::EnvironmentPathConver(path, data_from_shell, x86_program_files);
  return path;
}

std::wstring ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  ::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE);
  return buffer;
}

// Sets a variable of this process for the scope, restoring the old value.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[1024] = {};
    had_value_ = ::GetEnvironmentVariableW(name, old, 1024) > 0;
    old_ = old;
    ::SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() { ::SetEnvironmentVariableW(name_.c_str(), had_value_ ? old_.c_str() : nullptr); }

 private:
  std::wstring name_, old_;
  bool had_value_ = false;
};

// The character after the caret is skipped whatever it is; the name runs to the last percent and is
// read like _wtoi, case-sensitive; unknown names are removed; without a percent sign nothing changes.
TEST(CaretForm, ProgramDataAndProgramFilesFromTheVariableOrTheShell) {
  const std::wstring program_data = ShellFolder(CSIDL_COMMON_APPDATA);
  const std::wstring native = ShellFolder(CSIDL_PROGRAM_FILES);
  const std::wstring x86 = ShellFolder(CSIDL_PROGRAM_FILESX86);
  ASSERT_FALSE(program_data.empty() || native.empty() || x86.empty());
  ScopedVariable variable(L"ProgramData", L"D:\\PD");
  const struct { const wchar_t* path; bool data_from_shell, x86_program_files; std::wstring expected; } kCases[] = {
      {L"^%257%\\cfg.ini", false, false, L"D:\\PD\\cfg.ini"},
      {L"^%ProgramData%\\cfg.ini", false, false, L"D:\\PD\\cfg.ini"},
      {L"^%257%\\cfg.ini", true, false, program_data + L"\\cfg.ini"}, {L"^%258%\\App", false, true, x86 + L"\\App"},
      {L"^%258%\\App", false, false, native + L"\\App"}, {L"^%ProgramFile%\\App", false, true, x86 + L"\\App"},
      {L"^%ProgramFile%\\App", false, false, native + L"\\App"}, {L"^%257abc%\\x", false, false, L"D:\\PD\\x"},
      {L"^%0258%\\x", false, true, x86 + L"\\x"}, {L"^%TEMP%\\x", false, false, L"\\x"},
      {L"^%programdata%\\x", false, false, L"\\x"}, {L"^%256%\\x", false, false, L"\\x"},
      {L"^#257%\\x", false, false, L"D:\\PD\\x"}, {L"^%TEMP%\\a%b", false, false, L"b"}, {L"^%", false, false, L""},
      {L"^ProgramData\\x", false, false, L"^ProgramData\\x"}, {L"^", false, false, L"^"}};
  for (const auto& c : kCases)
    EXPECT_EQ(Converted(c.path, c.data_from_shell, c.x86_program_files), c.expected) << c.path << c.data_from_shell;
}

TEST(CaretForm, ProgramDataVariableThatIsMissingOrTooLongGivesNoPrefix) {
  {
    ScopedVariable unset(L"ProgramData", nullptr);
    EXPECT_EQ(Converted(L"^%257%\\x"), L"\\x");
  }
  ScopedVariable too_long(L"ProgramData", std::wstring(300, L'p').c_str());
  EXPECT_EQ(Converted(L"^%257%\\x"), L"\\x");
}

// profiles.ini in the roaming folder of this prefix, removed (or restored) afterwards.
class FirefoxForm : public ::testing::Test {
 protected:
  void SetUp() override {
    had_ini_ = ::GetFileAttributesW(ini_.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (had_ini_) saved_ = testing_support::ReadBytes(ini_);
    ::DeleteFileW(ini_.c_str());
  }
  void TearDown() override {
    if (had_ini_) testing_support::WriteBytes(ini_, saved_);
    if (!had_ini_) ::DeleteFileW(ini_.c_str());
  }
  void WriteProfiles(const std::string& text) {
    ::SHCreateDirectoryExW(nullptr, folder_.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteBytes(ini_, text));
  }

  const std::wstring folder_ = ShellFolder(CSIDL_APPDATA) + L"\\Mozilla\\Firefox";
  const std::wstring ini_ = folder_ + L"\\profiles.ini";
  const std::wstring expected_base_ = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Mozilla\\Firefox\\";
  bool had_ini_ = false;
  std::string saved_;
};

// Without a profile list or path the cache sits in the Firefox folder; only the first slash is turned.
TEST_F(FirefoxForm, FirstProfileCacheOrTheFirefoxFolder) {
  EXPECT_EQ(Converted(L"%firefox%\\anything"), expected_base_ + L"cache");
  WriteProfiles("[Profile0]\r\nName=default\r\n");
  EXPECT_EQ(Converted(L"%firefox%"), expected_base_ + L"cache");
  WriteProfiles("[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile1]\r\nPath=Profiles/other\r\n\r\n"
                "[Profile0]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles/abc.default\r\n");
  EXPECT_EQ(Converted(L"%firefox%\\anything"), expected_base_ + L"Profiles\\abc.default\\cache");
  WriteProfiles("[Profile0]\r\nPath=Profiles/abc.default/inner\r\n");
  EXPECT_EQ(Converted(L"%firefox%"), expected_base_ + L"Profiles\\abc.default/inner\\cache");
  // Upper case is an environment reference, left as written when undefined.
  {
    ScopedVariable firefox(L"FIREFOX", L"E:\\ff");
    EXPECT_EQ(Converted(L"%FIREFOX%\\x"), L"E:\\ff\\x");
  }
  ScopedVariable unset(L"FIREFOX", nullptr);
  EXPECT_EQ(Converted(L"%FIREFOX%\\x"), L"%FIREFOX%\\x");
}

TEST(PercentForm, ExpandsAsTheSystemDoesAndOtherFormsAreUnchanged) {
  wchar_t windir_buffer[MAX_PATH] = {};
  ASSERT_GT(::GetEnvironmentVariableW(L"windir", windir_buffer, MAX_PATH), 0u);
  const std::wstring windir = windir_buffer;
  ScopedVariable unset(L"TQ_SURELY_UNDEFINED", nullptr);
  const std::pair<std::wstring, std::wstring> kCases[] = {
      {L"%windir%\\system32", windir + L"\\system32"}, {L"%windir%\\%windir%", windir + L"\\" + windir},
      {L"%TQ_SURELY_UNDEFINED%\\x", L"%TQ_SURELY_UNDEFINED%\\x"},
      {L"%windir%\\%TQ_SURELY_UNDEFINED%", windir + L"\\%TQ_SURELY_UNDEFINED%"},
      {L"C:\\x", L"C:\\x"}, {L"", L""}, {L"x%windir%", L"x%windir%"}};
  for (const auto& [path, expected] : kCases) EXPECT_EQ(Converted(path), expected) << path;
  EXPECT_EQ(Converted(L"\\\\server\\share\\^%257%", true, true), L"\\\\server\\share\\^%257%");
}

TEST(PercentForm, ExpansionBeyond520CharactersLeavesThePathAsWritten) {
  // 519 characters and the NUL fill the buffer exactly.
  ScopedVariable fits(L"TQ_LONG", std::wstring(517, L'a').c_str());
  EXPECT_EQ(Converted(L"%TQ_LONG%\\b"), std::wstring(517, L'a') + L"\\b");
  ScopedVariable too_long(L"TQ_LONG", std::wstring(518, L'a').c_str());
  EXPECT_EQ(Converted(L"%TQ_LONG%\\b"), L"%TQ_LONG%\\b");
  ScopedVariable far_too_long(L"TQ_LONG", std::wstring(5000, L'a').c_str());
  EXPECT_EQ(Converted(L"%TQ_LONG%\\b"), L"%TQ_LONG%\\b");
}

}  // namespace
