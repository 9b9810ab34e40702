// The link writer, in the shell prefix (Windows 10).
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "shell/shell_test_support.h"
#include "support/sandbox.h"
#include "support/test_support.h"
#include "t_common/shell_link.h"
#include "t_common/text.h"
#include "win/com.h"

namespace {

using common::ws2s;
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

// Bad input gives false and writes nothing, never a crash: no bystander beside
// the save path changes. What a link cannot hold is refused before anything is
// written, and only a missing file or another link is written over.
TEST(CreateLinkIcon, BadInputWritesNothing) {
  ScopedTempDir dir;
  testing_support::PlantBystanders(dir.path());
  std::string other_class(76, '\0');  // a link's header size, another class
  other_class[0] = 0x4C;
  ASSERT_TRUE(testing_support::WriteBytes(dir.Child(L"other.lnk"), other_class));
  const std::wstring run = L"C:\\Apps\\run.exe", link = dir.Child(L"new.lnk"), nul(1, L'\0'), none;
  const std::wstring text(32767, L'x');
  struct Case {
    const char* what;
    std::wstring target, save_path, arguments = L"", icon = L"", description = L"";
  };
  const Case cases[] = {
      {"NUL in the target", run + nul + L"x", link},
      {"NUL in the save path", run, link + nul + L".txt"},
      {"NUL in the arguments", run, link, L"-a" + nul},
      {"NUL in the icon", run, link, none, L"C:\\a.ico" + nul},
      {"NUL in the description", run, link, none, none, nul + L"x"},
      {"target of 260 characters", L"C:\\" + std::wstring(200, L'a') + L"\\" + std::wstring(56, L'b'), link},
      {"relative target whose full path has 260", std::wstring(MAX_PATH - ::GetCurrentDirectoryW(0, nullptr), L'r'), link},
      {"quote inside the target", L"C:\\a\"b\\run.exe", link},
      {"arguments of 32,767 characters", run, link, text},
      {"icon of 32,767 characters", run, link, none, text},
      {"description of 32,767 characters", run, link, none, none, text},
      {"over a file that is no link", run, dir.Child(L"keep.txt")},
      {"over a file with a link's header size only", run, dir.Child(L"other.lnk")},
      {"over a folder", run, dir.Child(L"sub")},
      {"empty save path", run, none},
      {"300-character save path", run, dir.Child(std::wstring(300, L'a') + L".lnk")},
      {"character no file name holds", run, dir.Child(L"a|b?.lnk")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const testing_support::SandboxWatch watch({dir.path()});
    EXPECT_FALSE(common::CreateLinkIcon(c.target, c.save_path, c.arguments, c.icon, c.description));
    EXPECT_TRUE(watch.Unchanged());
  }
  const std::wstring missing_folder = dir.Child(L"no such folder\\x.lnk");
  const size_t from = testing_support::ReadProgramLog().size();
  EXPECT_FALSE(common::CreateLinkIcon(run, missing_folder, L"", L"", L""));
  const std::vector<std::string> expected = {
      "CreateLinkIcon sDstFileTrimed = C:\\Apps\\run.exe", "CreateLinkIcon szDirectory = C:\\Apps",
      "CreateLinkIcon sSavePathTrimed = " + ws2s(missing_folder),
      "CreateLinkIcon ppf->Save fail : hres = " + std::to_string(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))};
  EXPECT_EQ(LinkLogLines(from), expected);
}

// Up to the limits everything is stored whole, over an earlier link; an empty
// target gives a link without one.
TEST(CreateLinkIcon, HoldsTextUpToItsLimits) {
  ScopedTempDir dir;
  const std::wstring link = dir.Child(L"limits.lnk"), text(32766, L'x');
  const std::wstring target = L"C:\\" + std::wstring(200, L'a') + L"\\" + std::wstring(55, L'b');
  ASSERT_TRUE(common::CreateLinkIcon(L"", link, L"", L"", L""));
  EXPECT_EQ(ReadLink(link).target, L"");
  ASSERT_TRUE(common::CreateLinkIcon(target, link, text, L"C:\\" + text.substr(3), text));
  const shell_test::LinkFields fields = ReadLink(link);
  EXPECT_EQ(fields.target, target);
  EXPECT_EQ(fields.arguments, text);
  EXPECT_EQ(fields.icon, L"C:\\" + text.substr(3));
  EXPECT_EQ(fields.description, text);
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
  const std::wstring text(32766, L'x');
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\" + std::wstring(200, L'a') + L"\\" + std::wstring(55, L'b'),
                                     out + L"\\limits.lnk", text, L"C:\\" + text.substr(3), text));
}

}  // namespace
