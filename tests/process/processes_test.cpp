#include "t_common/processes.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

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
using Runs = std::vector<std::unique_ptr<Helper>>;

// Counts the pauses of the termination loop while it lives.
int g_pauses = 0;
struct CountedPauses {
  CountedPauses() {
    g_pauses = 0;
    common::process_search_internal::SetPauseForTesting(+[](DWORD milliseconds) {
      ++g_pauses;
      ::Sleep(milliseconds);
    });
  }
  ~CountedPauses() { common::process_search_internal::SetPauseForTesting(nullptr); }
};

// Of two runs of one name the older is found.
TEST(FindProcess, ByNameInAnyCaseOrFullPathButRunningCheckNeedsTheExactName) {
  const HelperCopy copy(L"tq_find");
  Runs runs;
  for (int i = 0; i < 2; ++i) runs.push_back(copy.Start(L"sleep -1", i));
  std::wstring upper = copy.name;
  for (auto& c : upper) c = static_cast<wchar_t>(::towupper(c));
  const std::wstring elsewhere = L"C:\\some\\other\\folder\\" + copy.name;
  for (const std::wstring& name : {copy.name, upper, elsewhere})
    EXPECT_EQ(common::GetProcessID(name.c_str()), runs[0]->id());
  EXPECT_TRUE(common::CheckExeIsRunning(copy.name.c_str()));
  for (const std::wstring& name : {upper, elsewhere, copy.program})
    EXPECT_FALSE(common::CheckExeIsRunning(name.c_str()));
}

TEST(TerminateProcesses, EndsEveryInstance) {
  const HelperCopy copy(L"tq_three");
  Runs runs;
  for (int i = 0; i < 3; ++i) runs.push_back(copy.Start(L"sleep -1", i));
  EXPECT_TRUE(common::TerminateApp(copy.name.c_str()));
  for (const auto& run : runs) EXPECT_EQ(run->WaitForExit(5000), 0u);
  EXPECT_EQ(common::GetProcessID(copy.name.c_str()), 0u);
}

TEST(TerminateProcesses, EndsAtMostThirty) {
  const HelperCopy copy(L"tq_many");
  Runs runs;
  for (int i = 0; i < 35; ++i) runs.push_back(copy.Start(L"sleep -1", i));
  CountedPauses pauses;
  EXPECT_TRUE(common::TerminateApp(copy.name.c_str()));
  EXPECT_EQ(g_pauses, 30);
  size_t running = 0;
  for (const auto& run : runs) running += run->Running() ? 1 : 0;
  EXPECT_GE(running, 5u);
  EXPECT_LT(running, 35u);
}

TEST(TerminateProcesses, IgnoreSelfEndsOnlyTheOlderSiblings) {
  const HelperCopy copy(L"tq_siblings");
  const NamedEvent go;
  Runs runs;
  for (int i = 0; i < 5; ++i)
    runs.push_back(copy.Start(i == 2 ? L"wait " + go.name + L" killsiblings" : L"sleep -1", i));
  ::SetEvent(go.event.get());
  EXPECT_EQ(runs[2]->WaitForExit(10000), 0u);
  EXPECT_EQ(RecordValue(copy.Record(2), "killsiblings"), "done");
  EXPECT_EQ(runs[0]->WaitForExit(5000), 0u);
  EXPECT_EQ(runs[1]->WaitForExit(5000), 0u);
  EXPECT_TRUE(runs[3]->Running());
  EXPECT_TRUE(runs[4]->Running());
}

// Names in the system's namespaces (Global\..., Local\...) are valid and work as
// plain ones. A null DACL lets any user and integrity level open the mutex.
TEST(Mutexes, IsAppExistTestsWithoutLeavingAMutex) {
  const std::wstring base = UniqueName(L"tq_mutex_probe");
  for (const std::wstring& name : {base, L"Global\\" + base, L"Local\\" + base}) {
    SCOPED_TRACE(common::ws2s(name));
    EXPECT_FALSE(common::IsAppExist(name.c_str()));
    EXPECT_EQ(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    {
      const win::ScopedHandle held(common::CreateAppMutex(name.c_str()));
      ASSERT_TRUE(held.valid());
      PACL dacl = reinterpret_cast<PACL>(1);
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      EXPECT_EQ(::GetSecurityInfo(held.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &descriptor),
                static_cast<DWORD>(ERROR_SUCCESS));
      const win::ScopedLocalMemory owned(descriptor);
      EXPECT_EQ(dacl, nullptr);
      EXPECT_TRUE(common::IsAppExist(name.c_str()));
      EXPECT_EQ(common::CreateAppMutex(name.c_str()), nullptr);
    }
    EXPECT_FALSE(common::IsAppExist(name.c_str()));
  }
}

// A name that matches nothing ends nothing and waits for nothing.
TEST(BadInput, EveryFunctionGivesItsFailureResult) {
  const std::wstring long_name = std::wstring(300, L'n');
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", long_name.c_str(), L"tq_no_such.exe"}) {
    SCOPED_TRACE(name == nullptr ? "null" : common::ws2s(name).substr(0, 8));
    CountedPauses pauses;
    EXPECT_EQ(common::GetProcessID(name), 0u);
    EXPECT_FALSE(common::CheckExeIsRunning(name));
    EXPECT_TRUE(common::TerminateApp(name));
    EXPECT_TRUE(common::TerminateAppIgnoreSelf(name));
    EXPECT_FALSE(common::ShowApp(name));
    EXPECT_EQ(g_pauses, 0);
  }
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L"a\\b"}) {
    SCOPED_TRACE(name == nullptr ? "null" : common::ws2s(name));
    EXPECT_FALSE(common::IsAppExist(name));
    EXPECT_EQ(common::CreateAppMutex(name), nullptr);
  }
}

// The window functions against a helper's real top-level window; run under xvfb-run.
TEST(ProcessWindows, ShowAppAndSetWindowTopShowTheWindowNormally) {
  const HelperCopy copy(L"tq_window");
  const auto run = copy.Start(L"window tq_window_test");
  const HWND window =
      reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull("0" + WaitForRecordValue(copy.Record(), "window"))));
  ASSERT_TRUE(::IsWindow(window));
  RECT normal = {}, shown = {};
  ::GetWindowRect(window, &normal);
  // ShowApp from a minimised window and from a normal one: shown normally, at its size.
  for (const bool minimised : {true, false}) {
    SCOPED_TRACE(minimised ? "minimised" : "normal");
    if (minimised) ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return (::IsIconic(window) != FALSE) == minimised; }, 2000));
    EXPECT_TRUE(common::ShowApp(copy.name.c_str()));
    EXPECT_TRUE(WaitFor([&] { return !::IsIconic(window); }, 2000));
    ::GetWindowRect(window, &shown);
    EXPECT_TRUE(::EqualRect(&normal, &shown));
    EXPECT_FALSE(::IsZoomed(window));
    EXPECT_TRUE(::IsWindowVisible(window));
  }
  // SetWindowTop shows a hidden window without leaving it topmost.
  ::ShowWindow(window, SW_HIDE);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(window); }, 2000));
  common::SetWindowTop(window);
  EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(window) != FALSE; }, 2000));
  EXPECT_EQ(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
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
