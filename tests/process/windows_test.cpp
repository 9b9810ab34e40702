// Window functions against a helper's real top-level window; run under xvfb-run.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "process/helper_process.h"
#include "support/test_support.h"
#include "t_common/processes.h"
#include "win/com.h"

namespace {

using namespace process_testing;
using testing_support::ScopedTempDir;

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A helper showing a window, found through its record.
class WindowHelper {
 public:
  WindowHelper() : name_(UniqueExeName(L"tq_window")) {
    const std::wstring record = dir_.Child(L"rec.txt");
    helper_ = Helper(CopyHelper(dir_.path(), name_), L"--record \"" + record + L"\" window tq_window_test");
    const std::string value = RecordValue(WaitForRecord(record, "window"), "window");
    window_ = reinterpret_cast<HWND>(static_cast<uintptr_t>(value.empty() ? 0 : std::stoull(value)));
  }
  ~WindowHelper() { common::TerminateApp(name_.c_str()); }
  const std::wstring& name() const { return name_; }
  HWND window() const { return window_; }

 private:
  ScopedTempDir dir_;
  std::wstring name_;
  Helper helper_;
  HWND window_ = nullptr;
};

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 100; ++i) {
    if (condition()) return true;
    ::Sleep(20);
  }
  return false;
}

TEST(ProcessWindows, ShowAppRestoresAMinimisedWindow) {
  WindowHelper helper;
  ASSERT_TRUE(::IsWindow(helper.window()));
  RECT normal = {};
  ::GetWindowRect(helper.window(), &normal);
  ::ShowWindow(helper.window(), SW_MINIMIZE);
  ASSERT_TRUE(WaitFor([&] { return ::IsIconic(helper.window()) != FALSE; }));
  EXPECT_TRUE(common::ShowApp(helper.name().c_str()));
  ASSERT_TRUE(WaitFor([&] { return !::IsIconic(helper.window()); }));
  RECT restored = {};
  ::GetWindowRect(helper.window(), &restored);
  EXPECT_TRUE(SameRect(normal, restored));
}

TEST(ProcessWindows, ShowAppLeavesANormalWindowAtItsSize) {
  WindowHelper helper;
  ASSERT_TRUE(::IsWindow(helper.window()));
  RECT before = {};
  ::GetWindowRect(helper.window(), &before);
  EXPECT_TRUE(common::ShowApp(helper.name().c_str()));
  RECT after = {};
  ::GetWindowRect(helper.window(), &after);
  EXPECT_TRUE(SameRect(before, after));
  EXPECT_FALSE(::IsIconic(helper.window()));
  EXPECT_FALSE(::IsZoomed(helper.window()));
  EXPECT_TRUE(::IsWindowVisible(helper.window()));
}

TEST(ProcessWindows, SetWindowTopShowsTheWindowWithoutLeavingItTopmost) {
  WindowHelper helper;
  ASSERT_TRUE(::IsWindow(helper.window()));
  ::ShowWindow(helper.window(), SW_HIDE);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(helper.window()); }));
  common::SetWindowTop(helper.window());
  EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(helper.window()) != FALSE; }));
  EXPECT_EQ(::GetWindowLongW(helper.window(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST(ProcessWindows, BadWindowHandles) {
  HWND destroyed = ::CreateWindowExW(0, L"STATIC", L"gone", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                     nullptr);
  ASSERT_NE(destroyed, nullptr);
  ::DestroyWindow(destroyed);
  win::ScopedComInitializer com;
  com.Initialize(COINIT_APARTMENTTHREADED);
  for (HWND window : {static_cast<HWND>(nullptr), destroyed}) {
    common::SetWindowTop(window);
    common::modifyTaskbar(window, true);
    common::modifyTaskbar(window, false);
  }
  EXPECT_FALSE(::IsWindow(destroyed));
}

}  // namespace
