// Window functions against a helper's real top-level window; run under xvfb-run.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "process/helper_process.h"
#include "t_common/processes.h"
#include "win/com.h"

namespace {

using namespace process_testing;

// A helper showing a window, found through its record.
struct WindowHelper : HelperCopy {
  WindowHelper() : HelperCopy(L"tq_window"), run(Start(L"window tq_window_test")) {
    const std::string value = WaitForRecordValue(Record(), "window");
    window = reinterpret_cast<HWND>(static_cast<uintptr_t>(value.empty() ? 0 : std::stoull(value)));
  }

  std::unique_ptr<Helper> run;
  HWND window = nullptr;
};

// From a minimised window and from a normal one: shown normally at its size.
TEST(ProcessWindows, ShowAppRestoresAMinimisedWindowAndLeavesANormalOneAtItsSize) {
  const WindowHelper helper;
  const HWND window = helper.window;
  ASSERT_TRUE(::IsWindow(window));
  RECT normal = {}, shown = {};
  ::GetWindowRect(window, &normal);
  for (const bool minimised : {true, false}) {
    SCOPED_TRACE(minimised ? "minimised" : "normal");
    if (minimised) ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return (::IsIconic(window) != FALSE) == minimised; }, 2000));
    EXPECT_TRUE(common::ShowApp(helper.name.c_str()));
    EXPECT_TRUE(WaitFor([&] { return !::IsIconic(window); }, 2000));
    ::GetWindowRect(window, &shown);
    EXPECT_TRUE(::EqualRect(&normal, &shown));
    EXPECT_FALSE(::IsZoomed(window));
    EXPECT_TRUE(::IsWindowVisible(window));
  }
}

TEST(ProcessWindows, SetWindowTopShowsTheWindowWithoutLeavingItTopmost) {
  const WindowHelper helper;
  ASSERT_TRUE(::IsWindow(helper.window));
  ::ShowWindow(helper.window, SW_HIDE);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(helper.window); }, 2000));
  common::SetWindowTop(helper.window);
  EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(helper.window) != FALSE; }, 2000));
  EXPECT_EQ(::GetWindowLongW(helper.window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST(ProcessWindows, BadWindowHandles) {
  HWND destroyed = ::CreateWindowExW(0, L"STATIC", L"gone", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                     nullptr);
  ASSERT_NE(destroyed, nullptr);
  ::DestroyWindow(destroyed);
  const win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  for (HWND window : {static_cast<HWND>(nullptr), destroyed}) {
    common::SetWindowTop(window);
    common::modifyTaskbar(window, true);
    common::modifyTaskbar(window, false);
  }
  EXPECT_FALSE(::IsWindow(destroyed));
}

}  // namespace
