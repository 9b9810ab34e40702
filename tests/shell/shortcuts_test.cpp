// The shortcut places and their version gates, in the shell prefix (Windows 10).
#include <windows.h>

#include <gtest/gtest.h>

#include <set>

#include "shell/shell_folders.h"
#include "shell/shell_test_support.h"
#include "support/test_support.h"
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

}  // namespace
