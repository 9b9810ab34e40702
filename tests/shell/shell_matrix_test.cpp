// One Windows version per run: TQ_EXPECTED_WINDOWS names the `winecfg /v`
// version the prefix reports; the expectations are what that version must
// get, shortcut kind by kind.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shell/shell_test_support.h"
#include "support/test_support.h"
#include "t_common/pin.h"
#include "t_common/shell_link.h"
#include "t_common/shortcuts.h"

namespace {

using shell_test::MachineShellFolder;
using shell_test::ReadLink;
using shell_test::ScopedVerbRecorder;
using testing_support::ScopedTempDir;

struct Expected {
  const char* windows;
  bool quick_launch, start_menu, taskbar, pin;
};

const Expected kVersions[] = {
    {"winxp64", true, true, false, false}, {"vista", false, false, true, false}, {"win7", false, false, true, true},
    {"win8", false, false, true, true},    {"win81", false, true, false, true},  {"win10", false, true, false, true},
};

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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

TEST_F(ShellOnVersion, QuickLaunchOnlyOnXp) {
  const std::wstring quick_launch = common::GetFolder(common::QuickLaunch);
  ASSERT_EQ(::SHCreateDirectoryExW(nullptr, quick_launch.c_str(), nullptr), ERROR_SUCCESS);
  common::CreateShortcut(common::QuickLaunch, L"C:\\Apps\\run.exe", L"quick.lnk", L"", L"", L"");
  EXPECT_EQ(Exists(quick_launch + L"\\quick.lnk"), expected_->quick_launch);
  if (expected_->quick_launch) {
    EXPECT_EQ(ReadLink(quick_launch + L"\\quick.lnk").target, L"C:\\Apps\\run.exe");
  }
  common::DeleteShortcut(common::QuickLaunch, L"", L"quick.lnk", L"");
  EXPECT_FALSE(Exists(quick_launch + L"\\quick.lnk"));
}

TEST_F(ShellOnVersion, StartMenuNotOnVistaSevenAndEight) {
  ScopedTempDir folder;
  shell_test::ScopedStartMenu32View view(folder.path());
  ASSERT_TRUE(view.ok());
  common::CreateShortcut(common::StartMenu, L"C:\\Apps\\run.exe", L"start.lnk", L"", L"", L"");
  EXPECT_EQ(Exists(folder.Child(L"start.lnk")), expected_->start_menu);
  // Deleting has no version test.
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", folder.Child(L"start.lnk"), L"", L"", L""));
  common::DeleteShortcut(common::StartMenu, L"", L"start.lnk", L"");
  EXPECT_FALSE(Exists(folder.Child(L"start.lnk")));

  std::wstring path;
  common::GetShortcutPath(common::StartMenu, path);
  EXPECT_EQ(path, std::strcmp(expected_->windows, "winxp64") == 0 ? common::GetFolder(common::StartMenu)
                                                                   : MachineShellFolder(L"Common Start Menu"));
}

TEST_F(ShellOnVersion, TaskbarVerbOnlyOnVistaSevenAndEightAndOnlyForAnExistingLink) {
  ScopedVerbRecorder recorder({L"TaskbarPin"});
  ASSERT_TRUE(recorder.ok());
  ScopedTempDir dir;
  common::CreateShortcut(common::Taskbar, dir.path(), L"pinned.lnk", L"", L"", L"");
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", dir.Child(L"pinned.lnk"), L"", L"", L""));
  common::CreateShortcut(common::Taskbar, dir.path(), L"pinned.lnk", L"", L"", L"");
  std::vector<std::wstring> expected;
  if (expected_->taskbar) expected.push_back(L"TaskbarPin|" + dir.Child(L"pinned.lnk"));
  EXPECT_EQ(recorder.Records(), expected);
}

TEST_F(ShellOnVersion, PinVerbsFromWindowsSevenOn) {
  ScopedVerbRecorder recorder({L"taskbarpin", L"startunpin"});
  ASSERT_TRUE(recorder.ok());
  ScopedTempDir dir;
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", dir.Child(L"pinned.lnk"), L"", L"", L""));
  common::PinToTaskBarShortCut(dir.Child(L"pinned.lnk"), true);
  recorder.WaitUntilIdle();
  common::PinToStartMenuShortcut(dir.Child(L"pinned.lnk"), false);
  std::vector<std::wstring> expected;
  if (expected_->pin) {
    expected = {L"taskbarpin|" + dir.Child(L"pinned.lnk"), L"startunpin|" + dir.Child(L"pinned.lnk")};
  }
  EXPECT_EQ(recorder.Records(), expected);
}

TEST_F(ShellOnVersion, TaskbarPlaceIsTheDesktopsAndStartupIsOnlyLocated) {
  std::wstring desktop, taskbar, startup;
  common::GetShortcutPath(common::Desktop, desktop);
  common::GetShortcutPath(common::Taskbar, taskbar);
  common::GetShortcutPath(common::Startup, startup);
  EXPECT_FALSE(desktop.empty());
  EXPECT_EQ(taskbar, desktop);
  EXPECT_EQ(startup, MachineShellFolder(L"Common Startup"));
  common::CreateShortcut(common::Startup, L"C:\\Apps\\run.exe", L"startup.lnk", L"", L"", L"");
  EXPECT_FALSE(Exists(startup + L"\\startup.lnk"));
}

}  // namespace
