#include "t_common/path_placeholders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

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

std::wstring Variable(const wchar_t* name) {
  wchar_t buffer[1024] = {};
  ::GetEnvironmentVariableW(name, buffer, 1024);
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

TEST(CaretForm, ProgramDataComesFromTheVariableOrTheShell) {
  ScopedVariable program_data(L"ProgramData", L"D:\\FromVariable");
  EXPECT_EQ(Converted(L"^%257%\\Data\\cfg.ini"), L"D:\\FromVariable\\Data\\cfg.ini");
  EXPECT_EQ(Converted(L"^%ProgramData%\\Data\\cfg.ini"), L"D:\\FromVariable\\Data\\cfg.ini");
  const std::wstring shell = ShellFolder(CSIDL_COMMON_APPDATA);
  ASSERT_FALSE(shell.empty());
  EXPECT_EQ(Converted(L"^%257%\\Data\\cfg.ini", true), shell + L"\\Data\\cfg.ini");
}

TEST(CaretForm, ProgramDataVariableThatIsMissingOrTooLongGivesNoPrefix) {
  {
    ScopedVariable unset(L"ProgramData", nullptr);
    EXPECT_EQ(Converted(L"^%257%\\x"), L"\\x");
  }
  ScopedVariable too_long(L"ProgramData", std::wstring(300, L'p').c_str());
  EXPECT_EQ(Converted(L"^%257%\\x"), L"\\x");
}

TEST(CaretForm, ProgramFilesNativeOr32Bit) {
  const std::wstring native = ShellFolder(CSIDL_PROGRAM_FILES);
  const std::wstring x86 = ShellFolder(CSIDL_PROGRAM_FILESX86);
  ASSERT_FALSE(native.empty());
  ASSERT_FALSE(x86.empty());
  EXPECT_EQ(Converted(L"^%258%\\App", false, true), x86 + L"\\App");
  EXPECT_EQ(Converted(L"^%258%\\App", false, false), native + L"\\App");
  EXPECT_EQ(Converted(L"^%ProgramFile%\\App", false, true), Converted(L"^%258%\\App", false, true));
  EXPECT_EQ(Converted(L"^%ProgramFile%\\App"), Converted(L"^%258%\\App"));
}

TEST(CaretForm, NamesAreReadLikeWtoiAndUnknownOnesRemoved) {
  ScopedVariable program_data(L"ProgramData", L"D:\\PD");
  EXPECT_EQ(Converted(L"^%257abc%\\x"), L"D:\\PD\\x");
  EXPECT_EQ(Converted(L"^%0258%\\x", false, true), ShellFolder(CSIDL_PROGRAM_FILESX86) + L"\\x");
  EXPECT_EQ(Converted(L"^%TEMP%\\x"), L"\\x");
  EXPECT_EQ(Converted(L"^%programdata%\\x"), L"\\x");  // case-sensitive
  EXPECT_EQ(Converted(L"^%256%\\x"), L"\\x");
  // The character after the caret is skipped whatever it is; the last percent ends the name.
  EXPECT_EQ(Converted(L"^#257%\\x"), L"D:\\PD\\x");
  EXPECT_EQ(Converted(L"^%TEMP%\\a%b"), L"b");
  EXPECT_EQ(Converted(L"^%"), L"");
}

TEST(CaretForm, WithoutPercentSignIsUnchanged) {
  EXPECT_EQ(Converted(L"^ProgramData\\x"), L"^ProgramData\\x");
  EXPECT_EQ(Converted(L"^"), L"^");
}

// profiles.ini in the roaming folder of this prefix, removed (or restored) afterwards.
class FirefoxForm : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ShellFolder(CSIDL_APPDATA) + L"\\Mozilla\\Firefox";
    ini_ = folder_ + L"\\profiles.ini";
    had_ini_ = ::GetFileAttributesW(ini_.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (had_ini_) saved_ = testing_support::ReadBytes(ini_);
    ::DeleteFileW(ini_.c_str());
    expected_base_ = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Mozilla\\Firefox\\";
  }
  void TearDown() override {
    if (had_ini_) {
      testing_support::WriteBytes(ini_, saved_);
    } else {
      ::DeleteFileW(ini_.c_str());
    }
  }
  void WriteProfiles(const std::string& text) {
    ::SHCreateDirectoryExW(nullptr, folder_.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteBytes(ini_, text));
  }

  std::wstring folder_, ini_, expected_base_;
  bool had_ini_ = false;
  std::string saved_;
};

TEST_F(FirefoxForm, FirstProfileCacheWithOnlyTheFirstSlashTurned) {
  WriteProfiles("[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile1]\r\nPath=Profiles/other\r\n\r\n"
                "[Profile0]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles/abc.default\r\n");
  EXPECT_EQ(Converted(L"%firefox%\\anything"), expected_base_ + L"Profiles\\abc.default\\cache");
  WriteProfiles("[Profile0]\r\nPath=Profiles/abc.default/inner\r\n");
  EXPECT_EQ(Converted(L"%firefox%"), expected_base_ + L"Profiles\\abc.default/inner\\cache");
}

TEST_F(FirefoxForm, WithoutProfileListOrPathTheCacheSitsInTheFirefoxFolder) {
  EXPECT_EQ(Converted(L"%firefox%\\anything"), expected_base_ + L"cache");
  WriteProfiles("[Profile0]\r\nName=default\r\n");
  EXPECT_EQ(Converted(L"%firefox%"), expected_base_ + L"cache");
}

TEST_F(FirefoxForm, UpperCaseIsAnEnvironmentReference) {
  WriteProfiles("[Profile0]\r\nPath=Profiles/abc.default\r\n");
  {
    ScopedVariable firefox(L"FIREFOX", L"E:\\ff");
    EXPECT_EQ(Converted(L"%FIREFOX%\\x"), L"E:\\ff\\x");
  }
  ScopedVariable unset(L"FIREFOX", nullptr);
  EXPECT_EQ(Converted(L"%FIREFOX%\\x"), L"%FIREFOX%\\x");
}

TEST(PercentForm, ExpandsAsTheSystemDoes) {
  const std::wstring windir = Variable(L"windir");
  ASSERT_FALSE(windir.empty());
  EXPECT_EQ(Converted(L"%windir%\\system32"), windir + L"\\system32");
  EXPECT_EQ(Converted(L"%windir%\\%windir%"), windir + L"\\" + windir);
  ScopedVariable unset(L"TQ_SURELY_UNDEFINED", nullptr);
  EXPECT_EQ(Converted(L"%TQ_SURELY_UNDEFINED%\\x"), L"%TQ_SURELY_UNDEFINED%\\x");
  EXPECT_EQ(Converted(L"%windir%\\%TQ_SURELY_UNDEFINED%"), windir + L"\\%TQ_SURELY_UNDEFINED%");
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

TEST(OtherForms, AreUnchanged) {
  EXPECT_EQ(Converted(L"C:\\x"), L"C:\\x");
  EXPECT_EQ(Converted(L""), L"");
  EXPECT_EQ(Converted(L"x%windir%"), L"x%windir%");
  EXPECT_EQ(Converted(L"\\\\server\\share\\^%257%", true, true), L"\\\\server\\share\\^%257%");
}

}  // namespace
