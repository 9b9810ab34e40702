// One Windows version per run: TQ_EXPECTED_WINDOWS names the `winecfg /v`
// version the prefix reports, and the table what that version must get.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "shell/shell_test_support.h"
#include "support/test_support.h"
#include "t_common/folders.h"
#include "t_common/pin.h"
#include "t_common/shell_link.h"
#include "t_common/shortcuts.h"

namespace {

using shell_test::Exists;
using shell_test::MachineShellFolder;
using shell_test::ScopedVerbRecorder;
using testing_support::ScopedTempDir;

struct Expected {
  const char* windows;
  bool xp;  // Quick Launch links, and the user's own Start menu
  bool start_menu, taskbar, pin;
};

const Expected kVersions[] = {
    {"winxp64", true, true, false, false}, {"vista", false, false, true, false}, {"win7", false, false, true, true},
    {"win8", false, false, true, true},    {"win81", false, true, false, true},  {"win10", false, true, false, true},
};

class ShellOnVersion : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("TQ_EXPECTED_WINDOWS");
    if (!name) GTEST_SKIP() << "TQ_EXPECTED_WINDOWS names the version this prefix reports";
    for (const Expected& e : kVersions) {
      if (std::strcmp(e.windows, name) == 0) expected_ = &e;
    }
    ASSERT_NE(expected_, nullptr) << "no expectations for " << name;
  }
  const Expected* expected_ = nullptr;
};

// Where links of each kind lie (GetShortcutPath) and the user's own folder of
// the kind (GetFolder); kinds outside 0 to 5 have neither.
TEST_F(ShellOnVersion, PlacesOfEachKind) {
  const std::wstring desktop = MachineShellFolder(L"Common Desktop");
  const std::wstring programs = common::GetSpecialFolderPath(CSIDL_PROGRAMS, false);
  const std::wstring quick_launch =
      common::GetSpecialFolderPath(CSIDL_APPDATA, false) + L"\\Microsoft\\Internet Explorer\\Quick Launch";
  struct Case {
    int kind;
    std::wstring place, folder;
  };
  const Case cases[] = {
      {common::Desktop, desktop, common::GetSpecialFolderPath(CSIDL_DESKTOP, false)},
      {common::Taskbar, desktop, L""},
      {common::QuickLaunch, quick_launch, quick_launch},
      {common::Startup, MachineShellFolder(L"Common Startup"), L""},
      {common::ProgramFolder, MachineShellFolder(L"Common Programs"), L""},
      {common::StartMenu, expected_->xp ? programs : MachineShellFolder(L"Common Start Menu"), programs},
      {6, L"", L""}, {-1, L"", L""}, {1000, L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    std::wstring path = L"stale";
    common::GetShortcutPath(static_cast<common::LinkType>(c.kind), path);
    EXPECT_EQ(path, c.place);
    EXPECT_EQ(common::GetFolder(static_cast<common::LinkType>(c.kind)), c.folder);
    EXPECT_EQ(c.place.empty(), c.kind < 0 || c.kind > 5);
  }
}

// Deleting has no version test: each link is made again before it is deleted.
TEST_F(ShellOnVersion, EachKindIsMadeOnlyOnItsVersions) {
  ScopedTempDir start_menu;
  const shell_test::ScopedShellFolder32 view(L"Common Start Menu", start_menu.path().c_str());
  ASSERT_TRUE(view.ok());
  const std::wstring quick_launch = common::GetFolder(common::QuickLaunch);
  ASSERT_EQ(::SHCreateDirectoryExW(nullptr, quick_launch.c_str(), nullptr), ERROR_SUCCESS);
  struct Case {
    common::LinkType kind;
    std::wstring folder;
    bool made;
  };
  const Case cases[] = {
      {common::Desktop, MachineShellFolder(L"Common Desktop"), true},
      {common::QuickLaunch, quick_launch, expected_->xp},
      {common::StartMenu, start_menu.path(), expected_->start_menu},
      {common::Startup, MachineShellFolder(L"Common Startup"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::wstring link = c.folder + L"\\matrix test.lnk";
    common::CreateShortcut(c.kind, L"C:\\Apps\\run.exe", L"matrix test.lnk", L"", L"", L"");
    EXPECT_EQ(shell_test::ReadLink(link).target, c.made ? L"C:\\Apps\\run.exe" : L"");
    if (c.kind == common::Startup) continue;  // only located
    ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", link, L"", L"", L""));
    common::DeleteShortcut(c.kind, L"", L"matrix test.lnk", L"");
    EXPECT_FALSE(Exists(link));
  }
}

// Deleting has no version test and removes the link even when the unpin verb
// fails, as it does here before the recorder is registered.
TEST_F(ShellOnVersion, TaskbarVerbOnlyOnVistaSevenAndEightAndOnlyForAnExistingLink) {
  ScopedTempDir dir;
  const std::wstring link = dir.Child(L"pinned.lnk");
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", link, L"", L"", L""));
  common::DeleteShortcut(common::Taskbar, dir.path(), L"pinned.lnk", L"");
  EXPECT_FALSE(Exists(link));

  ScopedVerbRecorder recorder({L"TaskbarPin", L"TaskbarunPin"});
  ASSERT_TRUE(recorder.ok());
  common::CreateShortcut(common::Taskbar, dir.path(), L"pinned.lnk", L"", L"", L"");
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", link, L"", L"", L""));
  common::CreateShortcut(common::Taskbar, dir.path(), L"pinned.lnk", L"", L"", L"");
  recorder.WaitUntilIdle();
  common::DeleteShortcut(common::Taskbar, dir.path(), L"pinned.lnk", L"");
  std::vector<std::wstring> expected = {L"TaskbarunPin|" + link};
  if (expected_->taskbar) expected.insert(expected.begin(), L"TaskbarPin|" + link);
  EXPECT_EQ(recorder.Records(), expected);
  EXPECT_FALSE(Exists(link));
}

// PinToStartMenu's path is relative to the common Programs folder and brings its own backslash.
TEST_F(ShellOnVersion, PinVerbsFromWindowsSevenOnAndOnlyForAnExistingFile) {
  const std::vector<std::wstring> verbs = {L"taskbarpin", L"taskbarunpin", L"startpin", L"startunpin"};
  ScopedVerbRecorder recorder(verbs);
  ASSERT_TRUE(recorder.ok());
  const std::wstring folder = MachineShellFolder(L"Common Programs") + L"\\Pin Test", link = folder + L"\\client.lnk";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  for (bool pin : {true, false}) {
    common::PinToTaskBarShortCut(link, pin);
    common::PinToStartMenuShortcut(link, pin);
    common::PinToStartMenu(L"\\no such folder\\client.lnk", pin);
  }
  common::PinToTaskBarShortCut(L"", true);
  common::PinToStartMenuShortcut(std::wstring(300, L'a'), true);
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", link, L"", L"", L""));
  for (bool pin : {true, false}) {
    common::PinToTaskBarShortCut(link, pin);
    recorder.WaitUntilIdle();
  }
  common::PinToStartMenu(L"Pin Test\\client.lnk", true);  // runs into the folder's name: not found
  common::PinToStartMenu(L"\\Pin Test\\client.lnk", true);
  recorder.WaitUntilIdle();
  common::PinToStartMenuShortcut(link, false);
  std::vector<std::wstring> expected;
  for (const std::wstring& verb : verbs) expected.push_back(verb + L"|" + link);
  EXPECT_EQ(recorder.Records(), expected_->pin ? expected : std::vector<std::wstring>());
  EXPECT_TRUE(testing_support::RemoveTree(folder));
}

}  // namespace
