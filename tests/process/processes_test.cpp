#include "t_common/processes.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "process/helper_process.h"
#include "process/process_search_internal.h"
#include "t_common/self_management.h"
#include "t_common/text.h"
#include "win/com.h"
#include "win/scoped_handle.h"

namespace {

using namespace process_testing;

// Counts the pauses of the termination loop while it lives.
int g_pauses = 0;
struct CountedPauses {
  CountedPauses() {
    g_pauses = 0;
    common::process_search_internal::SetPauseForTesting(+[](DWORD milliseconds) { ++g_pauses, ::Sleep(milliseconds); });
  }
  ~CountedPauses() { common::process_search_internal::SetPauseForTesting(nullptr); }
};

// The oldest run of a name is found by that name in any case or a path elsewhere;
// the running check wants the exact name. Every run ended by name exits with 0.
TEST(Processes, FoundByNameAndEndedAtMostThirtyACall) {
  const HelperCopy copy(L"tq_find");
  const std::wstring go = copy.name + L"_go";
  const win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, go.c_str()));
  std::vector<std::unique_ptr<Helper>> runs;
  for (int i = 0; i < 35; ++i) runs.push_back(copy.Start(i == 2 ? L"wait " + go + L" killsiblings" : L"sleep -1", i));
  std::wstring upper = copy.name;
  for (auto& c : upper) c = static_cast<wchar_t>(::towupper(c));
  for (const std::wstring& name : {copy.name, upper, L"C:\\some\\other\\folder\\" + copy.name, copy.program}) {
    EXPECT_EQ(common::GetProcessID(name.c_str()), runs[0]->id()) << common::ws2s(name);
    EXPECT_EQ(common::CheckExeIsRunning(name.c_str()), name == copy.name) << common::ws2s(name);
  }
  // TerminateAppIgnoreSelf from the third run ends the two older runs only.
  ::SetEvent(event.get());
  EXPECT_EQ(runs[2]->WaitForExit(10000), 0u);
  EXPECT_EQ(RecordValue(copy.Record(2), "killsiblings"), "done");
  EXPECT_EQ(runs[0]->WaitForExit(5000) + runs[1]->WaitForExit(5000), 0u);
  EXPECT_TRUE(runs[3]->Running() && runs[34]->Running());
  // 32 left: a call ends one a pass for thirty passes, the next call the rest.
  CountedPauses pauses;
  EXPECT_TRUE(common::TerminateApp(copy.name.c_str()));
  EXPECT_EQ(g_pauses, 30);
  EXPECT_NE(common::GetProcessID(copy.name.c_str()), 0u);
  EXPECT_TRUE(common::TerminateApp(copy.name.c_str()));
  for (const auto& run : runs) EXPECT_EQ(run->WaitForExit(5000), 0u);
}

// A name that matches nothing ends nothing and waits for nothing.
TEST(Processes, BadNamesGiveTheFailureResult) {
  const std::vector<testing_support::ProcessEntry> before = testing_support::ProcessList();
  const std::wstring long_name(300, L'n');
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", long_name.c_str(), L"tq_no_such.exe"}) {
    CountedPauses pauses;
    EXPECT_EQ(common::GetProcessID(name), 0u);
    EXPECT_FALSE(common::CheckExeIsRunning(name) || common::ShowApp(name));
    EXPECT_TRUE(common::TerminateApp(name) && common::TerminateAppIgnoreSelf(name));
    EXPECT_EQ(g_pauses, 0);
  }
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L"a\\b"}) {
    EXPECT_FALSE(common::IsAppExist(name));
    EXPECT_EQ(common::CreateAppMutex(name), nullptr);
  }
  for (const auto& process : before) {
    const win::ScopedHandle still(::OpenProcess(SYNCHRONIZE, FALSE, process.id));
    EXPECT_EQ(::WaitForSingleObject(still.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << common::ws2s(process.name);
  }
}

// Against a helper's real top-level window, under xvfb-run. ShowApp shows a
// minimised or a normal window normally, at its size; SetWindowTop shows a
// hidden one without leaving it topmost, and a bad handle changes nothing.
TEST(ProcessWindows, ShowAppAndSetWindowTopShowTheWindowNormally) {
  const HelperCopy copy(L"tq_window");
  const auto run = copy.Start(L"window tq_window_test");
  const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull("0" + RecordValue(copy.Record(), "window", 30000))));
  RECT normal = {}, shown = {};
  ASSERT_TRUE(::GetWindowRect(window, &normal));
  for (const bool minimised : {true, false}) {
    if (minimised) ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return (::IsIconic(window) != FALSE) == minimised; }, 2000));
    EXPECT_TRUE(common::ShowApp(copy.name.c_str()));
    EXPECT_TRUE(WaitFor([&] { return !::IsIconic(window); }, 2000)) << minimised;
    ::GetWindowRect(window, &shown);
    EXPECT_TRUE(::EqualRect(&normal, &shown) && !::IsZoomed(window) && ::IsWindowVisible(window)) << minimised;
  }
  ::ShowWindow(window, SW_HIDE);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(window); }, 2000));
  common::SetWindowTop(window);
  EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(window) != FALSE; }, 2000));
  EXPECT_EQ(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  const win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  for (HWND bad : {static_cast<HWND>(nullptr), reinterpret_cast<HWND>(0x1234)}) {
    common::SetWindowTop(bad);
    common::modifyTaskbar(bad, true);
    common::modifyTaskbar(bad, false);
  }
  EXPECT_TRUE(::IsWindowVisible(window));
}

}  // namespace
