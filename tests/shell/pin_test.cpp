#include "t_common/pin.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell_test_support.h"
#include "support/test_support.h"
#include "t_common/shell_link.h"

namespace {

using shell_test::ScopedVerbRecorder;
using testing_support::ScopedTempDir;

class PinVerbs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(recorder_.ok());
    ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", link_, L"", L"", L""));
  }
  ScopedVerbRecorder recorder_{{L"taskbarpin", L"taskbarunpin", L"startpin", L"startunpin"}};
  ScopedTempDir dir_;
  const std::wstring link_ = dir_.Child(L"client.lnk");
};

TEST_F(PinVerbs, PinThenUnpinRunsBothVerbsOnTheSameFile) {
  common::PinToTaskBarShortCut(link_, true);
  recorder_.WaitUntilIdle();
  common::PinToTaskBarShortCut(link_, false);
  recorder_.WaitUntilIdle();
  common::PinToStartMenuShortcut(link_, true);
  recorder_.WaitUntilIdle();
  common::PinToStartMenuShortcut(link_, false);
  const std::vector<std::wstring> expected = {L"taskbarpin|" + link_, L"taskbarunpin|" + link_,
                                              L"startpin|" + link_, L"startunpin|" + link_};
  EXPECT_EQ(recorder_.Records(), expected);
}

TEST_F(PinVerbs, MissingFileRunsNothing) {
  const std::wstring missing = dir_.Child(L"deleted.lnk");
  for (bool pin : {true, false}) {
    common::PinToTaskBarShortCut(missing, pin);
    common::PinToStartMenuShortcut(missing, pin);
    common::PinToStartMenu(L"\\no such folder\\client.lnk", pin);
  }
  common::PinToTaskBarShortCut(L"", true);
  common::PinToStartMenuShortcut(std::wstring(300, L'a'), true);
  EXPECT_EQ(recorder_.Records(), std::vector<std::wstring>());
}

TEST_F(PinVerbs, StartMenuPathIsRelativeToCommonProgramsWithItsOwnBackslash) {
  const std::wstring programs = shell_test::MachineShellFolder(L"Common Programs");
  ASSERT_FALSE(programs.empty());
  const std::wstring folder = programs + L"\\Pin Test";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\Apps\\run.exe", folder + L"\\client.lnk", L"", L"", L""));
  common::PinToStartMenu(L"Pin Test\\client.lnk", true);  // runs into the folder's name: not found
  common::PinToStartMenu(L"\\Pin Test\\client.lnk", true);
  recorder_.WaitUntilIdle();
  common::PinToStartMenu(L"\\Pin Test\\client.lnk", false);
  const std::vector<std::wstring> expected = {L"startpin|" + folder + L"\\client.lnk",
                                              L"startunpin|" + folder + L"\\client.lnk"};
  EXPECT_EQ(recorder_.Records(), expected);
  EXPECT_TRUE(testing_support::RemoveTree(folder));
}

}  // namespace
