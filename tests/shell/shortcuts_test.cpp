// The shortcut places and their version gates, in the shell prefix (Windows 10).
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "shell/shell_folders.h"
#include "shell/shell_test_support.h"
#include "support/sandbox.h"
#include "support/test_support.h"
#include "t_common/files.h"
#include "t_common/pin.h"
#include "t_common/shell_link.h"
#include "t_common/shortcuts.h"
#include "t_common/text.h"

namespace {

using common::ws2s;
using shell_test::Exists;
using shell_test::FileNames;
using shell_test::MachineShellFolder;
using shell_test::ReadLink;


// Versions no prefix reports (the matrix runs the others), one that could not be read among them.
TEST(VersionGates, DecideWhichShortcutsAreMade) {
  struct Case {
    const char* windows;
    common::WindowsVersion version;
    bool quick_launch, start_menu, users_start_menu, taskbar, pin;
  };
  const Case cases[] = {
      {"unknown", {false, 0}, false, false, false, true, false},
      {"2000", {true, 0x1200}, false, true, false, false, false},
      {"2003", {true, 0x1400}, false, true, false, false, false},
      {"above 6", {true, 0x2000}, false, true, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.windows);
    EXPECT_EQ(common::QuickLaunchShortcutsApply(c.version), c.quick_launch);
    EXPECT_EQ(common::StartMenuShortcutsApply(c.version), c.start_menu);
    EXPECT_EQ(common::StartMenuIsTheUsersOwn(c.version), c.users_start_menu);
    EXPECT_EQ(common::TaskbarShortcutsApply(c.version), c.taskbar);
    EXPECT_EQ(common::PinVerbsApply(c.version.code), c.pin);
  }
}

TEST(ProgramFolder, CreatedUnderCommonProgramsWithTheDefaultOrAGivenName) {
  const std::wstring programs = MachineShellFolder(L"Common Programs");
  for (const wchar_t* given : {L"", L"Quotes Test"}) {
    const std::wstring folder = programs + L"\\" + (*given ? given : L"Tessaquill");
    ASSERT_FALSE(Exists(folder));
    common::CreateShortcut(common::ProgramFolder, L"C:\\Apps\\run.exe", L"Client.lnk", L"-q", L"C:\\Apps\\run.ico",
                           given);
    const shell_test::LinkFields fields = ReadLink(folder + L"\\Client.lnk");
    EXPECT_EQ(fields.target, L"C:\\Apps\\run.exe");
    EXPECT_EQ(fields.arguments, L"-q");
    EXPECT_EQ(fields.icon, L"C:\\Apps\\run.ico");
    EXPECT_EQ(fields.description, L"");
    ASSERT_TRUE(testing_support::WriteBytes(folder + L"\\extra.txt", "x"));
    common::DeleteShortcut(common::ProgramFolder, L"", L"", given);
    EXPECT_FALSE(Exists(folder));
  }
}

// Kinds outside 0 to 5, names no file can have, and the Start menu without its
// value in the 32-bit view of the shell folders (which it is read from on
// 64-bit Windows): nothing happens, and no place gets anything.
TEST(Shortcuts, BadInputWritesNothing) {
  const shell_test::ScopedShellFolder32 no_start_menu(L"Common Start Menu");
  ASSERT_TRUE(no_start_menu.ok());
  const std::wstring places[] = {
      MachineShellFolder(L"Common Desktop"), MachineShellFolder(L"Common Programs"),
      MachineShellFolder(L"Common Start Menu"), MachineShellFolder(L"Common Startup"),
      common::GetFolder(common::Desktop), L"C:",
  };
  std::vector<std::set<std::wstring>> before;
  for (const std::wstring& place : places) before.push_back(FileNames(place));

  for (int kind : {6, -1, 1000}) {
    common::CreateShortcut(static_cast<common::LinkType>(kind), L"C:\\Apps\\run.exe", L"bad.lnk", L"", L"", L"");
    common::DeleteShortcut(static_cast<common::LinkType>(kind), L"C:\\", L"bad.lnk", L"");
  }
  common::CreateShortcut(common::StartMenu, L"C:\\Apps\\run.exe", L"start test.lnk", L"", L"", L"");
  common::CreateShortcut(common::Desktop, L"C:\\Apps\\run.exe", L"a|b?.lnk", L"", L"", L"");
  common::CreateShortcut(common::Desktop, L"C:\\Apps\\run.exe", std::wstring(300, L'a') + L".lnk", L"", L"", L"");
  common::CreateShortcut(common::Desktop, L"", L"", L"", L"", L"");
  common::CreateShortcut(common::ProgramFolder, L"C:\\Apps\\run.exe", L"x.lnk", L"", L"", L"a|b");
  common::CreateShortcut(common::ProgramFolder, L"C:\\Apps\\run.exe", L"x.lnk", L"", L"", std::wstring(300, L'a'));
  common::CreateShortcut(common::Taskbar, L"", L"", L"", L"", L"");
  common::DeleteShortcut(common::Taskbar, L"", L"", L"");
  common::DeleteShortcut(common::Desktop, L"", L"", L"");
  common::DeleteShortcut(common::StartMenu, L"", L"", L"");

  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(FileNames(places[i]), before[i]) << ws2s(places[i]);
}

// Names that leave their folder, NUL characters, files that are not links and
// text no link holds: nothing happens. No bystander in or beside the common
// folders (fresh for each row) changes, nothing waits for the next restart,
// and the shell runs no verb.
TEST(Shortcuts, BadInputLeavesEveryBystander) {
  using Places = shell_test::ScopedCommonFolders;
  const std::wstring run = L"C:\\Apps\\run.exe", nul(1, L'\0');
  shell_test::ScopedVerbRecorder recorder({L"TaskbarPin", L"TaskbarunPin", L"startpin"});
  ASSERT_TRUE(recorder.ok());
  const struct {
    const char* what;
    std::function<void(const Places&)> call;
  } rows[] = {
      {"program folder .", [](auto&) { common::DeleteStartMenuProgramFolder(L"."); }},
      {"program folder ..", [](auto&) { common::DeleteStartMenuProgramFolder(L".."); }},
      {"program folder ...", [](auto&) { common::DeleteStartMenuProgramFolder(L"..."); }},
      {"program folder NUL", [&](auto&) { common::DeleteStartMenuProgramFolder(nul); }},
      {"program folder Startup\\..", [](auto&) { common::DeleteShortcut(common::ProgramFolder, L"", L"", L"Startup\\.."); }},
      {"desktop ..\\", [](auto&) { common::DeleteShortcut(common::Desktop, L"", L"..\\keep.txt", L""); }},
      {"desktop name cut at NUL", [&](auto&) { common::DeleteShortcut(common::Desktop, L"", L"keep.txt" + nul + L"x", L""); }},
      {"start menu sub\\", [](auto&) { common::DeleteShortcut(common::StartMenu, L"", L"Programs\\keep.txt", L""); }},
      {"quick launch ..\\", [](auto&) { common::DeleteQuicklaunchShortcut(L"..\\keep.txt"); }},
      {"taskbar ..\\", [](auto& p) { common::DeleteShortcut(common::Taskbar, p.desktop, L"..\\keep.txt", L""); }},
      {"taskbar folder cut at NUL", [&](auto& p) { common::DeleteTaskbarShortcut(p.desktop + L"\\keep.txt" + nul, L"x.lnk"); }},
      {"taskbar name cut at NUL", [&](auto& p) { common::CreateTaskbarShortcut(p.desktop, L"pinned.lnk" + nul + L"x"); }},
      {"new desktop ..\\", [&](auto&) { common::CreateShortcut(common::Desktop, run, L"..\\x.lnk", L"", L"", L""); }},
      {"new start menu sub\\", [&](auto&) { common::CreateShortcut(common::StartMenu, run, L"Programs\\x.lnk", L"", L"", L""); }},
      {"new quick launch ..\\", [&](auto&) { common::CreateQucklaunchShortcut(run, L"..\\x.lnk"); }},
      {"new program folder ..", [&](auto&) { common::CreateShortcut(common::ProgramFolder, run, L"x.lnk", L"", L"", L".."); }},
      {"new in program folder ..\\", [&](auto&) { common::CreateShortcut(common::ProgramFolder, run, L"..\\x.lnk", L"", L"", L""); }},
      {"program folder without separators", [&](auto&) { common::CreateStartMenuProgramFolder(L"Tq", run, L"x.lnk", L"", L""); }},
      {"empty program folder", [&](auto&) { common::CreateStartMenuProgramFolder(L"", run, L"x.lnk", L"", L""); }},
      {"program folder \\..\\", [&](auto&) { common::CreateStartMenuProgramFolder(L"\\..\\", run, L"x.lnk", L"", L""); }},
      {"program folder cut at NUL", [&](auto&) { common::CreateStartMenuProgramFolder(L"\\Tq\\" + nul, run, L"x.lnk", L"", L""); }},
      {"NUL in a string the kind ignores", [&](auto&) { common::CreateShortcut(common::Desktop, run, L"x.lnk", nul, L"", L""); }},
      {"NUL in a folder the kind ignores", [&](auto&) { common::DeleteShortcut(common::Desktop, nul, L"keep.txt", L""); }},
      {"target cut at NUL", [&](auto&) { common::CreateShortcut(common::Desktop, run + nul + L"x", L"x.lnk", L"", L"", L""); }},
      {"link name cut at NUL", [&](auto&) { common::CreateDesktopShortcut(run, L"x.lnk" + nul + L".txt"); }},
      {"arguments with NUL", [&](auto&) { common::CreateShortcut(common::ProgramFolder, run, L"x.lnk", L"-a" + nul, L"", L""); }},
      {"target too long", [](auto&) { common::CreateShortcut(common::ProgramFolder, L"C:\\" + std::wstring(300, L'a'), L"x.lnk", L"", L"", L"New"); }},
      {"over a file that is no link", [&](auto&) { common::CreateShortcut(common::Desktop, run, L"keep.txt", L"", L"", L""); }},
      {"over a file in a program folder", [&](auto&) { common::CreateStartMenuProgramFolder(L"\\sub\\", run, L"inner.txt", L"", L""); }},
      {"taskbar pin cut at NUL", [&](auto& p) { common::PinToTaskBarShortCut(p.desktop + L"\\pinned.lnk" + nul + L"x", true); }},
      {"start pin cut at NUL", [&](auto& p) { common::PinToStartMenuShortcut(p.desktop + L"\\pinned.lnk" + nul, true); }},
      {"start menu pin cut at NUL", [&](auto&) { common::PinToStartMenu(L"\\pinned.lnk" + nul + L"x", true); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const Places places;
    ASSERT_TRUE(places.ok());
    for (const std::wstring& folder : {places.desktop, places.programs})
      ASSERT_TRUE(common::CreateLinkIcon(run, folder + L"\\pinned.lnk", L"", L"", L""));
    const size_t verbs = recorder.Records().size();
    const testing_support::SandboxWatch watch = places.Watch();
    row.call(places);
    EXPECT_EQ(recorder.Records().size(), verbs);
    EXPECT_TRUE(watch.Unchanged());
  }
}

// The shell's own path handling overruns its stack on long paths, so these
// run in a child with a time limit. From 260 characters on nothing reaches
// the shell and nothing is deleted; at 259 the link is unpinned and deleted.
TEST(Shortcuts, LongPathsNeverReachTheShell) {
  wchar_t given[MAX_PATH] = {};
  if (!::GetEnvironmentVariableW(L"TQ_LONG_PATHS", given, MAX_PATH)) {
    const testing_support::ScopedTempDir dir;
    EXPECT_EQ(testing_support::RunSelfInChild("Shortcuts.LongPathsNeverReachTheShell", {{L"TQ_LONG_PATHS", dir.path()}},
                                              90000),
              0);
    return;
  }
  const std::wstring top = given;
  // The folder whose x.lnk has a path of that length.
  const auto folder_of = [&](size_t length) { return top + L"\\" + std::wstring(length - top.size() - 7, L'f'); };
  std::wstring deep = top;
  while (deep.size() < 1000) ASSERT_TRUE(::CreateDirectoryW((deep += L"\\" + std::wstring(200, L'd')).c_str(), nullptr));
  for (const std::wstring& folder : {deep, folder_of(259), folder_of(260)}) {
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteBytes(folder + L"\\x.lnk", "link"));
  }
  const struct {
    const char* what;
    std::function<void()> call;
  } rows[] = {
      {"unpin, 260", [&] { common::DeleteTaskbarShortcut(folder_of(260), L"x.lnk"); }},
      {"unpin, 1,000", [&] { common::DeleteTaskbarShortcut(deep, L"x.lnk"); }},
      {"unpin by kind, 1,000", [&] { common::DeleteShortcut(common::Taskbar, deep, L"x.lnk", L""); }},
      {"pin, 1,000", [&] { common::CreateTaskbarShortcut(deep, L"x.lnk"); }},
      {"taskbar pin, 1,000", [&] { common::PinToTaskBarShortCut(deep + L"\\x.lnk", false); }},
      {"start pin, 1,000", [&] { common::PinToStartMenuShortcut(deep + L"\\x.lnk", true); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const testing_support::SandboxWatch watch({top});
    row.call();
    EXPECT_TRUE(watch.Unchanged());
  }
  common::DeleteTaskbarShortcut(folder_of(259), L"x.lnk");
  EXPECT_FALSE(Exists(folder_of(259) + L"\\x.lnk"));
}

}  // namespace
