#include "t_common/shortcuts.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "shell/shell_folders.h"
#include "shell/shell_test_support.h"
#include "support/test_support.h"
#include "t_common/folders.h"
#include "t_common/os_version.h"
#include "t_common/shell_link.h"
#include "t_common/text.h"
#include "win/scoped_handle.h"

namespace {

using shell_test::MachineShellFolder;
using shell_test::ReadLink;
using shell_test::ScopedVerbRecorder;
using testing_support::ScopedTempDir;

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::set<std::wstring> Names(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  win::ScopedFindHandle search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search.valid()) return names;
  do {
    names.insert(found.cFileName);
  } while (::FindNextFileW(search.get(), &found));
  return names;
}

// The rules behind the version gates, for every family that matters and for
// a version that could not be read, which no prefix can report.
TEST(VersionGates, DecideWhichShortcutsAreMade) {
  struct Case {
    const char* windows;
    common::WindowsVersion version;
    bool quick_launch, start_menu, users_start_menu, taskbar, pin;
  };
  const Case cases[] = {
      {"unknown", {false, 0}, false, false, false, true, false},
      {"2000", {true, 0x1200}, false, true, false, false, false},
      {"xp x64", {true, 0x81300}, true, true, true, false, false},
      {"2003", {true, 0x1400}, false, true, false, false, false},
      {"vista", {true, 0x8150A}, false, false, false, true, false},
      {"7", {true, 0x81600}, false, false, false, true, true},
      {"8", {true, 0x1700}, false, false, false, true, true},
      {"8.1", {true, 0x81800}, false, true, false, false, true},
      {"10", {true, 0x81900}, false, true, false, false, true},
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

TEST(ShortcutPlaces, FoldersOfEachKind) {
  std::wstring path = L"stale";
  common::GetShortcutPath(common::Desktop, path);
  EXPECT_EQ(path, MachineShellFolder(L"Common Desktop"));
  EXPECT_FALSE(path.empty());
  std::wstring taskbar;
  common::GetShortcutPath(common::Taskbar, taskbar);
  EXPECT_EQ(taskbar, path);
  common::GetShortcutPath(common::Startup, path);
  EXPECT_EQ(path, MachineShellFolder(L"Common Startup"));
  common::GetShortcutPath(common::ProgramFolder, path);
  EXPECT_EQ(path, MachineShellFolder(L"Common Programs"));
  common::GetShortcutPath(common::QuickLaunch, path);
  EXPECT_EQ(path, common::GetFolder(common::QuickLaunch));
  for (int outside : {6, -1, 1000}) {
    path = L"stale";
    common::GetShortcutPath(static_cast<common::LinkType>(outside), path);
    EXPECT_EQ(path, L"") << outside;
  }

  EXPECT_EQ(common::GetFolder(common::Desktop), common::GetSpecialFolderPath(CSIDL_DESKTOP, false));
  EXPECT_EQ(common::GetFolder(common::StartMenu), common::GetSpecialFolderPath(CSIDL_PROGRAMS, false));
  EXPECT_EQ(common::GetFolder(common::QuickLaunch),
            common::GetSpecialFolderPath(CSIDL_APPDATA, false) + L"\\Microsoft\\Internet Explorer\\Quick Launch");
  for (common::LinkType other : {common::Startup, common::ProgramFolder, common::Taskbar}) {
    EXPECT_EQ(common::GetFolder(other), L"") << other;
  }
}

TEST(ShortcutPlaces, DesktopLinkIsWrittenAndDeletedInTheCommonDesktop) {
  const std::wstring desktop = MachineShellFolder(L"Common Desktop");
  const std::wstring link = desktop + L"\\shortcuts test.lnk";
  common::CreateShortcut(common::Desktop, L"C:\\Apps\\Client\\run.exe", L"shortcuts test.lnk", L"", L"", L"");
  EXPECT_EQ(ReadLink(link).target, L"C:\\Apps\\Client\\run.exe");
  common::DeleteShortcut(common::Desktop, L"", L"shortcuts test.lnk", L"");
  EXPECT_FALSE(Exists(link));
}

TEST(ShortcutPlaces, StartupIsOnlyLocated) {
  const std::wstring startup = MachineShellFolder(L"Common Startup");
  const std::set<std::wstring> before = Names(startup);
  common::CreateShortcut(common::Startup, L"C:\\Apps\\run.exe", L"startup test.lnk", L"", L"", L"");
  EXPECT_EQ(Names(startup), before);
}

// The prefix has no 32-bit view of the shell folders, which the Start menu's
// links are read from on 64-bit Windows: nothing may be written anywhere.
TEST(ShortcutPlaces, StartMenuWithoutTheThirtyTwoBitViewWritesNothing) {
  ASSERT_TRUE(common::IsX64System());
  const std::wstring start_menu = MachineShellFolder(L"Common Start Menu");
  const std::set<std::wstring> before = Names(start_menu);
  const std::set<std::wstring> root_before = Names(L"C:");
  common::CreateShortcut(common::StartMenu, L"C:\\Apps\\run.exe", L"start test.lnk", L"", L"", L"");
  EXPECT_EQ(Names(start_menu), before);
  EXPECT_EQ(Names(L"C:"), root_before);
}

TEST(ShortcutPlaces, StartMenuLinkGoesToTheThirtyTwoBitViewsFolder) {
  ScopedTempDir folder;
  shell_test::ScopedStartMenu32View view(folder.path());
  ASSERT_TRUE(view.ok());
  common::CreateShortcut(common::StartMenu, L"C:\\Apps\\run.exe", L"start test.lnk", L"", L"", L"");
  EXPECT_EQ(ReadLink(folder.Child(L"start test.lnk")).target, L"C:\\Apps\\run.exe");
  EXPECT_FALSE(Exists(MachineShellFolder(L"Common Start Menu") + L"\\start test.lnk"));
  common::DeleteShortcut(common::StartMenu, L"", L"start test.lnk", L"");
  EXPECT_FALSE(Exists(folder.Child(L"start test.lnk")));
}

TEST(ProgramFolder, CreatedUnderCommonProgramsWithTheDefaultOrAGivenName) {
  const std::wstring programs = MachineShellFolder(L"Common Programs");
  ASSERT_FALSE(programs.empty());
  struct Case {
    const wchar_t* given;
    const wchar_t* folder;
  };
  for (const Case& c : {Case{L"", L"Tessaquill"}, Case{L"Quotes Test", L"Quotes Test"}}) {
    const std::wstring folder = programs + L"\\" + c.folder;
    ASSERT_FALSE(Exists(folder));
    common::CreateShortcut(common::ProgramFolder, L"C:\\Apps\\run.exe", L"Client.lnk", L"-q", L"C:\\Apps\\run.ico",
                           c.given);
    const shell_test::LinkFields fields = ReadLink(folder + L"\\Client.lnk");
    EXPECT_EQ(fields.target, L"C:\\Apps\\run.exe");
    EXPECT_EQ(fields.arguments, L"-q");
    EXPECT_EQ(fields.icon, L"C:\\Apps\\run.ico");
    EXPECT_EQ(fields.description, L"");
    ASSERT_TRUE(testing_support::WriteBytes(folder + L"\\extra.txt", "x"));
    common::DeleteShortcut(common::ProgramFolder, L"", L"", c.given);
    EXPECT_FALSE(Exists(folder));
  }
}

TEST(Taskbar, DeletingRemovesTheLinkEvenWhenTheUnpinVerbFails) {
  ScopedTempDir dir;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", dir.Child(L"pinned.lnk"), L"", L"", L""));
  common::DeleteShortcut(common::Taskbar, dir.path(), L"pinned.lnk", L"");
  EXPECT_FALSE(Exists(dir.Child(L"pinned.lnk")));
}

TEST(Taskbar, PinAndUnpinRunTheirVerbsOnTheLink) {
  ScopedVerbRecorder recorder({L"TaskbarPin", L"TaskbarunPin"});
  ASSERT_TRUE(recorder.ok());
  ScopedTempDir dir;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", dir.Child(L"pinned.lnk"), L"", L"", L""));
  common::CreateTaskbarShortcut(dir.path(), L"missing.lnk");
  common::CreateTaskbarShortcut(dir.path(), L"pinned.lnk");
  recorder.WaitUntilIdle();
  common::DeleteTaskbarShortcut(dir.path(), L"pinned.lnk");
  const std::vector<std::wstring> expected = {L"TaskbarPin|" + dir.Child(L"pinned.lnk"),
                                              L"TaskbarunPin|" + dir.Child(L"pinned.lnk")};
  EXPECT_EQ(recorder.Records(), expected);
  EXPECT_FALSE(Exists(dir.Child(L"pinned.lnk")));
}

// Kinds outside 0 to 5 and names no file can have: nothing happens, and no
// place the functions know gets anything.
TEST(Shortcuts, BadInputWritesNothing) {
  const std::wstring places[] = {
      MachineShellFolder(L"Common Desktop"), MachineShellFolder(L"Common Programs"),
      MachineShellFolder(L"Common Start Menu"), MachineShellFolder(L"Common Startup"),
      common::GetFolder(common::Desktop), L"C:",
  };
  std::vector<std::set<std::wstring>> before;
  for (const std::wstring& place : places) before.push_back(Names(place));

  const std::wstring long_name(300, L'a');
  for (int kind : {6, -1, 1000}) {
    common::CreateShortcut(static_cast<common::LinkType>(kind), L"C:\\Apps\\run.exe", L"bad.lnk", L"", L"", L"");
    common::DeleteShortcut(static_cast<common::LinkType>(kind), L"C:\\", L"bad.lnk", L"");
  }
  common::CreateShortcut(common::Desktop, L"C:\\Apps\\run.exe", L"a|b?.lnk", L"", L"", L"");
  common::CreateShortcut(common::Desktop, L"C:\\Apps\\run.exe", long_name + L".lnk", L"", L"", L"");
  common::CreateShortcut(common::Desktop, L"", L"", L"", L"", L"");
  common::CreateShortcut(common::ProgramFolder, L"C:\\Apps\\run.exe", L"x.lnk", L"", L"", L"a|b");
  common::CreateShortcut(common::ProgramFolder, L"C:\\Apps\\run.exe", L"x.lnk", L"", L"", long_name);
  common::CreateShortcut(common::Taskbar, L"", L"", L"", L"", L"");
  common::DeleteShortcut(common::Taskbar, L"", L"", L"");
  common::DeleteShortcut(common::Desktop, L"", L"", L"");
  common::DeleteShortcut(common::StartMenu, L"", L"", L"");

  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(Names(places[i]), before[i]) << common::ws2s(places[i]);
}

}  // namespace
