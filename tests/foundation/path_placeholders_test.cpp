#include "t_common/path_placeholders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/test_support.h"

namespace {

using namespace std::string_literals;

// Each test sets the variables it reads, in this process only.
std::wstring Converted(std::wstring path, bool data_from_shell = false, bool x86_program_files = false) {
  common::EnvironmentPathConver(path, data_from_shell, x86_program_files);
  return path;
}

std::wstring ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  ::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE);
  return buffer;
}

// The character after the caret is skipped whatever it is; the name runs to the last percent and is
// read like _wtoi, case-sensitive; unknown names are removed; without a percent sign nothing changes.
TEST(CaretForm, ProgramDataAndProgramFilesFromTheVariableOrTheShell) {
  const std::wstring data = ShellFolder(CSIDL_COMMON_APPDATA), native = ShellFolder(CSIDL_PROGRAM_FILES),
                     x86 = ShellFolder(CSIDL_PROGRAM_FILESX86);
  ASSERT_FALSE(data.empty() || native.empty() || x86.empty() || native == x86);
  ::SetEnvironmentVariableW(L"ProgramData", L"D:\\PD");
  const struct { const wchar_t* path; bool data_from_shell, x86_program_files; std::wstring expected; } kCases[] = {
      {L"^%257%\\c.ini", false, false, L"D:\\PD\\c.ini"}, {L"^%ProgramData%\\c.ini", false, false, L"D:\\PD\\c.ini"},
      {L"^%257%\\cfg.ini", true, false, data + L"\\cfg.ini"}, {L"^%258%\\App", false, true, x86 + L"\\App"},
      {L"^%258%\\App", false, false, native + L"\\App"}, {L"^%ProgramFile%\\App", false, true, x86 + L"\\App"},
      {L"^%ProgramFile%\\App", false, false, native + L"\\App"}, {L"^%257abc%\\x", false, false, L"D:\\PD\\x"},
      {L"^%0258%\\x", false, true, x86 + L"\\x"}, {L"^%TEMP%\\x", false, false, L"\\x"},
      {L"^%programdata%\\x", false, false, L"\\x"}, {L"^%256%\\x", false, false, L"\\x"},
      {L"^#257%\\x", false, false, L"D:\\PD\\x"}, {L"^%TEMP%\\a%b", false, false, L"b"}, {L"^%", false, false, L""},
      {L"^ProgramData\\x", false, false, L"^ProgramData\\x"}, {L"^", false, false, L"^"}};
  for (const auto& c : kCases)
    EXPECT_EQ(Converted(c.path, c.data_from_shell, c.x86_program_files), c.expected) << c.path << c.data_from_shell;
  // A variable that is missing or too long for the buffer gives no prefix.
  const std::wstring too_long(300, L'p');
  for (const wchar_t* value : {static_cast<const wchar_t*>(nullptr), too_long.c_str()}) {
    ::SetEnvironmentVariableW(L"ProgramData", value);
    EXPECT_EQ(Converted(L"^%257%\\x"), L"\\x") << (value ? "too long" : "missing");
  }
}

// The first profile's cache, or the Firefox folder's without a profile list or
// path; only the first slash is turned. Upper case is an environment reference.
TEST(FirefoxForm, FirstProfileCacheOrTheFirefoxFolder) {
  const std::wstring folder = ShellFolder(CSIDL_APPDATA) + L"\\Mozilla\\Firefox";
  const std::wstring base = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Mozilla\\Firefox\\";
  ::DeleteFileW((folder + L"\\profiles.ini").c_str());
  EXPECT_EQ(Converted(L"%firefox%\\anything"), base + L"cache");
  ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  const std::pair<std::string, std::wstring> kCases[] = {
      {"[Profile0]\r\nName=default\r\n", base + L"cache"},
      {"[Profile1]\r\nPath=Profiles/other\r\n\r\n[Profile0]\r\nIsRelative=1\r\nPath=Profiles/abc.default\r\n",
       base + L"Profiles\\abc.default\\cache"},
      {"[Profile0]\r\nPath=Profiles/abc.default/inner\r\n", base + L"Profiles\\abc.default/inner\\cache"}};
  for (const auto& [profiles, expected] : kCases) {
    ASSERT_TRUE(testing_support::WriteBytes(folder + L"\\profiles.ini", profiles));
    EXPECT_EQ(Converted(L"%firefox%"), expected) << profiles;
  }
  ::DeleteFileW((folder + L"\\profiles.ini").c_str());
  ::SetEnvironmentVariableW(L"FIREFOX", L"E:\\ff");
  EXPECT_EQ(Converted(L"%FIREFOX%\\x"), L"E:\\ff\\x");
}

// An expansion of 519 characters and the NUL fills the buffer exactly; a longer one leaves the path as written.
TEST(PercentForm, ExpandsAsTheSystemDoesAndOtherFormsAreUnchanged) {
  wchar_t windir_buffer[MAX_PATH] = {};
  ASSERT_GT(::GetEnvironmentVariableW(L"windir", windir_buffer, MAX_PATH), 0u);
  const std::wstring windir = windir_buffer;
  ::SetEnvironmentVariableW(L"TQ_FITS", std::wstring(517, L'a').c_str());
  ::SetEnvironmentVariableW(L"TQ_TOO_LONG", std::wstring(518, L'a').c_str());
  const std::pair<std::wstring, std::wstring> kCases[] = {
      {L"%windir%\\system32", windir + L"\\system32"}, {L"%windir%\\%windir%", windir + L"\\" + windir},
      {L"%windir%\\%TQ_SURELY_UNDEFINED%", windir + L"\\%TQ_SURELY_UNDEFINED%"}, {L"C:\\x", L"C:\\x"}, {L"", L""},
      {L"x%windir%", L"x%windir%"}, {L"%TQ_FITS%\\b", std::wstring(517, L'a') + L"\\b"},
      {L"%TQ_TOO_LONG%\\b", L"%TQ_TOO_LONG%\\b"}, {L"\\\\server\\share\\^%257%", L"\\\\server\\share\\^%257%"},
      // A NUL would end the text the system sees: the path stays as written.
      {L"%windir%\0x"s, L"%windir%\0x"s}, {L"^%257%\\x\0"s, L"^%257%\\x\0"s}, {L"%firefox%\0"s, L"%firefox%\0"s}};
  for (const auto& [path, expected] : kCases) EXPECT_EQ(Converted(path, true, true), expected) << path;
}

}  // namespace
