// The link writer, in the shell prefix (Windows 10).
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "shell/shell_test_support.h"
#include "support/test_support.h"
#include "t_common/shell_link.h"
#include "t_common/text.h"
#include "win/com.h"

namespace {

using common::ws2s;
using shell_test::FileNames;
using shell_test::ReadLink;
using testing_support::ScopedTempDir;

// The CreateLinkIcon lines of the program log past its first `from` bytes, from the step name on.
std::vector<std::string> LinkLogLines(size_t from) {
  std::vector<std::string> lines;
  std::istringstream log(testing_support::ReadProgramLog().substr(from));
  for (std::string line; std::getline(log, line);)
    if (line.find("CreateLinkIcon ") != std::string::npos) lines.push_back(line.substr(line.find("CreateLinkIcon ")));
  return lines;
}

// Each row replaces the link of the row before. Pairs of backslashes collapse
// before slashes become backslashes. Empty arguments and description are
// neither set nor logged. The working folder is the normalised target's, with
// the root dropped by PathAppendW, none for a bare name. The icon is the target's .ico.
TEST(CreateLinkIcon, WritesAndLogsEachFieldWithSeparatorsNormalised) {
  ScopedTempDir dir;
  const std::wstring link = dir.Child(L"client.lnk");
  std::wstring save_path = dir.path() + L"\\\\client.lnk";
  save_path[2] = L'/';
  struct Case {
    const wchar_t *given, *arguments, *description;
    std::wstring stored, folder;
  };
  const Case cases[] = {
      {L"C:\\Apps\\Client\\run.exe", L"-s -x", L"Quotes and news", L"C:\\Apps\\Client\\run.exe", L"C:\\Apps\\Client"},
      {L"C:/Apps/Client/run.exe", L"", L"", L"C:\\Apps\\Client\\run.exe", L"C:\\Apps\\Client"},
      {L"C:\\\\Apps\\\\Client\\\\run.exe", L"", L"", L"C:\\Apps\\Client\\run.exe", L"C:\\Apps\\Client"},
      {L"\\\\server\\share\\run.exe", L"", L"", L"\\server\\share\\run.exe", L"server\\share"},
      {L"run.exe", L"", L"", L"run.exe", L""},
      {L"C:\\Apps\\\\\\Client\\run.exe", L"", L"", L"C:\\Apps\\\\Client\\run.exe", L"C:\\Apps\\\\Client"},
      {L"C:\\Apps\\\\\\\\Client\\run.exe", L"", L"", L"C:\\Apps\\\\Client\\run.exe", L"C:\\Apps\\\\Client"},
      {L"C:\\Apps//Client\\run.exe", L"", L"", L"C:\\Apps\\\\Client\\run.exe", L"C:\\Apps\\\\Client"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ws2s(c.given));
    const std::wstring icon = std::wstring(c.given).replace(wcslen(c.given) - 3, 3, L"ico");
    const std::wstring stored_icon = std::wstring(c.stored).replace(c.stored.size() - 3, 3, L"ico");
    const size_t from = testing_support::ReadProgramLog().size();
    ASSERT_TRUE(common::CreateLinkIcon(c.given, save_path, c.arguments, icon, c.description));
    std::vector<std::string> expected = {"CreateLinkIcon sDstFileTrimed = " + ws2s(c.stored),
                                         "CreateLinkIcon szDirectory = " + ws2s(c.folder)};
    if (*c.arguments) expected.push_back("CreateLinkIcon sParam = " + ws2s(c.arguments));
    if (*c.description) expected.push_back("CreateLinkIcon sDec = " + ws2s(c.description));
    expected.push_back("CreateLinkIcon sIconTrimed = " + ws2s(stored_icon));
    expected.push_back("CreateLinkIcon sSavePathTrimed = " + ws2s(link));
    EXPECT_EQ(LinkLogLines(from), expected);
    const shell_test::LinkFields fields = ReadLink(link);
    ASSERT_EQ(fields.load_result, S_OK);
    wchar_t full[MAX_PATH] = {};  // the shell keeps the target as a full path of its own making
    ::GetFullPathNameW(c.stored.c_str(), MAX_PATH, full, nullptr);
    EXPECT_EQ(fields.target, full);
    EXPECT_EQ(fields.working_folder, c.folder);
    EXPECT_EQ(fields.arguments, c.arguments);
    EXPECT_EQ(fields.description, c.description);
    EXPECT_EQ(fields.icon, stored_icon);
    EXPECT_EQ(fields.icon_index, 0);
  }
}

// Bad input gives false or an unusable link, never a crash, and writes
// nothing but the save path it names; a failed save is logged with its result.
TEST(CreateLinkIcon, BadInput) {
  ScopedTempDir dir;
  struct Case {
    const char* what;
    std::wstring target, save_path;
    bool expected;
  };
  const Case cases[] = {
      {"empty target", L"", dir.Child(L"empty-target.lnk"), true},
      {"300-character target", L"C:\\" + std::wstring(300, L'a') + L".exe", dir.Child(L"long-target.lnk"), true},
      {"empty save path", L"C:\\Apps\\run.exe", L"", false},
      {"300-character save path", L"C:\\Apps\\run.exe", dir.Child(std::wstring(300, L'a') + L".lnk"), false},
      {"save path names a folder", L"C:\\Apps\\run.exe", dir.path(), false},
      {"save path with a character no file name holds", L"C:\\Apps\\run.exe", dir.Child(L"a|b?.lnk"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(common::CreateLinkIcon(c.target, c.save_path, L"", L"", L""), c.expected);
  }
  const std::wstring missing_folder = dir.Child(L"no such folder\\x.lnk");
  const size_t from = testing_support::ReadProgramLog().size();
  EXPECT_FALSE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", missing_folder, L"", L"", L""));
  const std::vector<std::string> expected = {
      "CreateLinkIcon sDstFileTrimed = C:\\Apps\\run.exe", "CreateLinkIcon szDirectory = C:\\Apps",
      "CreateLinkIcon sSavePathTrimed = " + ws2s(missing_folder),
      "CreateLinkIcon ppf->Save fail : hres = " + std::to_string(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))};
  EXPECT_EQ(LinkLogLines(from), expected);
  EXPECT_EQ(FileNames(dir.path()),
            (std::set<std::wstring>{L".", L"..", L"empty-target.lnk", L"long-target.lnk"}));
}

// Another thread in the multithreaded apartment would make COM usable here,
// so this runs alone in a child.
TEST(CreateLinkIcon, ThreadWithoutComGetsItForTheCallOnly) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("CreateLinkIcon.ThreadWithoutComGetsItForTheCallOnly"), 0);
    return;
  }
  ScopedTempDir dir;
  win::ComPtr<IShellLinkW> probe;
  ASSERT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, probe.put_void()),
            CO_E_NOTINITIALIZED);
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", dir.Child(L"c.lnk"), L"", L"", L""));
  EXPECT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, probe.put_void()),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(ReadLink(dir.Child(L"c.lnk")).target, L"C:\\Apps\\run.exe");
}

TEST(CreateLinkIcon, ThreadWithComKeepsItsOwnApartment) {
  ScopedTempDir dir;
  HRESULT again = E_FAIL;
  std::thread thread([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", dir.Child(L"m.lnk"), L"", L"", L""));
    // S_FALSE: still the same apartment, with the thread's own initialisation left to undo.
    again = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ::CoUninitialize();
    ::CoUninitialize();
  });
  thread.join();
  EXPECT_EQ(again, S_FALSE);
}

// For lnkinfo, a reader independent of the shell, which check_links.sh runs on them.
TEST(CreateLinkIcon, WritesLinksForAnIndependentReader) {
  wchar_t folder[MAX_PATH] = {};
  if (!::GetEnvironmentVariableW(L"TQ_LINK_OUTPUT", folder, MAX_PATH)) GTEST_SKIP() << "TQ_LINK_OUTPUT names a folder";
  testing_support::RemoveTree(folder);
  ASSERT_TRUE(::CreateDirectoryW(folder, nullptr));
  const std::wstring out = folder;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\\\Apps\\\\Client\\\\run.exe", out + L"/full.lnk", L"--silent -x",
                                     L"C:/Apps/Client/run.ico", L"Quotes and news"));
  ASSERT_TRUE(common::CreateLinkIcon(L"\\\\server\\share\\run.exe", out + L"\\\\network.lnk", L"", L"", L""));
  ASSERT_TRUE(common::CreateLinkIcon(L"run.exe", out + L"\\bare.lnk", L"", L"", L""));
}

}  // namespace
