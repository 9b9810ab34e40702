#include "t_common/processes.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "process/helper_process.h"
#include "process/process_search_internal.h"
#include "t_common/self_management.h"
#include "t_common/text.h"
#include "win/scoped_handle.h"

namespace {

using namespace process_testing;

// Runs of one helper copy, each recording to its own file; what is left of
// them is ended by name at the end.
class HelperGroup : public HelperCopy {
 public:
  explicit HelperGroup(const std::wstring& prefix) : HelperCopy(prefix) {}
  ~HelperGroup() {
    runs.clear();
    common::TerminateApp(name.c_str());
  }
  // Starts one more run with the steps and waits until it has recorded its start.
  Helper& Start(const std::wstring& steps) {
    const int run = static_cast<int>(runs.size());
    runs.push_back(std::make_unique<Helper>(program, Arguments(steps, run)));
    EXPECT_FALSE(WaitForRecordValue(Record(run), "show").empty()) << "run " << run << " did not start";
    return *runs.back();
  }
  // True when runs [first, last) have all ended within the timeout.
  bool AllEnded(size_t first, size_t last, DWORD timeout_ms) const {
    for (size_t i = first; i < last; ++i)
      if (runs[i]->WaitForExit(timeout_ms) == STILL_ACTIVE) return false;
    return true;
  }

  std::vector<std::unique_ptr<Helper>> runs;
};

// Counts the pauses of the termination loop.
class CountedPauses {
 public:
  CountedPauses() : previous_(common::process_search_internal::SetPauseForTesting(&Count)) { count_ = 0; }
  ~CountedPauses() { common::process_search_internal::SetPauseForTesting(previous_); }
  int count() const { return count_; }

 private:
  static void Count(DWORD milliseconds) {
    ++count_;
    ::Sleep(milliseconds);
  }
  static inline int count_ = 0;
  common::process_search_internal::PauseFunction previous_;
};

TEST(FindProcess, ByNameInAnyCaseOrFullPathButRunningCheckNeedsTheExactName) {
  HelperGroup group(L"tq_find");
  const DWORD id = group.Start(L"sleep -1").id();
  std::wstring upper = group.name;
  for (auto& c : upper) c = static_cast<wchar_t>(::towupper(c));
  const std::wstring elsewhere = L"C:\\some\\other\\folder\\" + group.name;
  EXPECT_EQ(common::GetProcessID(group.name.c_str()), id);
  EXPECT_EQ(common::GetProcessID(upper.c_str()), id);
  EXPECT_EQ(common::GetProcessID(elsewhere.c_str()), id);
  EXPECT_TRUE(common::CheckExeIsRunning(group.name.c_str()));
  EXPECT_FALSE(common::CheckExeIsRunning(upper.c_str()));
  EXPECT_FALSE(common::CheckExeIsRunning(elsewhere.c_str()));
  EXPECT_FALSE(common::CheckExeIsRunning(group.program.c_str()));
}

TEST(FindProcess, OfTwoOfOneNameTheOlderIsFound) {
  HelperGroup group(L"tq_two");
  const DWORD older = group.Start(L"sleep -1").id();
  group.Start(L"sleep -1");
  EXPECT_EQ(common::GetProcessID(group.name.c_str()), older);
}

TEST(TerminateProcesses, EndsEveryInstance) {
  HelperGroup group(L"tq_three");
  for (int i = 0; i < 3; ++i) group.Start(L"sleep -1");
  EXPECT_TRUE(common::TerminateApp(group.name.c_str()));
  ASSERT_TRUE(group.AllEnded(0, 3, 5000));
  for (const auto& run : group.runs) EXPECT_EQ(run->WaitForExit(0), 0u);
  EXPECT_EQ(common::GetProcessID(group.name.c_str()), 0u);
}

TEST(TerminateProcesses, EndsAtMostThirty) {
  HelperGroup group(L"tq_many");
  for (int i = 0; i < 35; ++i) group.Start(L"sleep -1");
  CountedPauses pauses;
  EXPECT_TRUE(common::TerminateApp(group.name.c_str()));
  EXPECT_EQ(pauses.count(), 30);
  size_t running = 0;
  for (const auto& run : group.runs) running += run->Running() ? 1 : 0;
  EXPECT_GE(running, 5u);
  EXPECT_LT(running, 35u);
}

TEST(TerminateProcesses, IgnoreSelfEndsOnlyTheOlderSiblings) {
  HelperGroup group(L"tq_siblings");
  const NamedEvent go;
  group.Start(L"sleep -1");
  group.Start(L"sleep -1");
  const Helper& caller = group.Start(L"wait " + go.name() + L" killsiblings");
  group.Start(L"sleep -1");
  group.Start(L"sleep -1");
  go.Set();
  EXPECT_EQ(caller.WaitForExit(10000), 0u);
  EXPECT_EQ(RecordValue(group.Record(2), "killsiblings"), "done");
  EXPECT_TRUE(group.AllEnded(0, 2, 5000));
  EXPECT_TRUE(group.runs[3]->Running());
  EXPECT_TRUE(group.runs[4]->Running());
}

// Names in the system's namespaces (Global\..., Local\...) are valid and work as plain ones.
TEST(Mutexes, IsAppExistTestsWithoutLeavingAMutex) {
  const std::wstring base = L"tq_mutex_probe_" + std::to_wstring(::GetCurrentProcessId());
  for (const std::wstring& name : {base, L"Global\\" + base, L"Local\\" + base}) {
    SCOPED_TRACE(common::ws2s(name));
    EXPECT_FALSE(common::IsAppExist(name.c_str()));
    EXPECT_EQ(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    {
      const win::ScopedHandle held(common::CreateAppMutex(name.c_str()));
      ASSERT_TRUE(held.valid());
      EXPECT_TRUE(common::IsAppExist(name.c_str()));
      EXPECT_EQ(common::CreateAppMutex(name.c_str()), nullptr);
    }
    EXPECT_FALSE(common::IsAppExist(name.c_str()));
  }
}

// A name that matches nothing ends nothing and waits for nothing.
TEST(BadInput, EveryFunctionGivesItsFailureResult) {
  const std::wstring long_name = std::wstring(300, L'n');
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", long_name.c_str(), L"tq_nothing_by_this_name.exe"}) {
    SCOPED_TRACE(name == nullptr ? "null" : common::ws2s(name).substr(0, 8));
    CountedPauses pauses;
    EXPECT_EQ(common::GetProcessID(name), 0u);
    EXPECT_FALSE(common::CheckExeIsRunning(name));
    EXPECT_TRUE(common::TerminateApp(name));
    EXPECT_TRUE(common::TerminateAppIgnoreSelf(name));
    EXPECT_FALSE(common::ShowApp(name));
    EXPECT_EQ(pauses.count(), 0);
  }
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L"a\\b"}) {
    SCOPED_TRACE(name == nullptr ? "null" : common::ws2s(name));
    EXPECT_FALSE(common::IsAppExist(name));
    EXPECT_EQ(common::CreateAppMutex(name), nullptr);
  }
}

}  // namespace
