#include "t_common/processes.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "process/helper_process.h"
#include "process/process_search_internal.h"
#include "support/test_support.h"
#include "t_common/self_management.h"
#include "win/scoped_handle.h"

namespace {

using namespace process_testing;
using testing_support::ScopedTempDir;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Copies of the helper under one unique name, each recording to its own file.
class HelperGroup {
 public:
  explicit HelperGroup(const std::wstring& prefix) : name_(UniqueExeName(prefix)) {
    program_ = CopyHelper(dir_.path(), name_);
  }
  ~HelperGroup() {
    helpers_.clear();
    common::TerminateApp(name_.c_str());
  }
  const std::wstring& name() const { return name_; }
  const std::wstring& program() const { return program_; }
  std::wstring RecordOf(size_t index) const { return dir_.Child(L"rec" + std::to_wstring(index) + L".txt"); }

  // Starts one more copy with the steps and waits until it has recorded its start.
  Helper& Start(const std::wstring& steps) {
    const std::wstring record = RecordOf(helpers_.size());
    helpers_.push_back(std::make_unique<Helper>(program_, L"--record \"" + record + L"\" " + steps));
    EXPECT_FALSE(WaitForRecord(record, "show").empty()) << "helper " << helpers_.size() - 1 << " did not start";
    return *helpers_.back();
  }
  Helper& at(size_t index) { return *helpers_[index]; }
  size_t size() const { return helpers_.size(); }
  size_t CountRunning() const {
    size_t running = 0;
    for (const auto& helper : helpers_) running += helper->Running() ? 1 : 0;
    return running;
  }
  // True when every helper in [first, last) has ended within the timeout.
  bool AllEnded(size_t first, size_t last, DWORD timeout_ms) const {
    for (size_t i = first; i < last; ++i)
      if (helpers_[i]->WaitForExit(timeout_ms) == STILL_ACTIVE) return false;
    return true;
  }

 private:
  ScopedTempDir dir_;
  std::wstring name_;
  std::wstring program_;
  std::vector<std::unique_ptr<Helper>> helpers_;
};

// Counts the pauses of the termination loop instead of sleeping them.
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

std::wstring Upper(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(::towupper(c));
  return text;
}

TEST(FindProcess, ByNameInAnyCaseOrFullPathButRunningCheckNeedsTheExactName) {
  HelperGroup group(L"tq_find");
  const Helper& helper = group.Start(L"sleep -1");
  const std::wstring elsewhere = L"C:\\some\\other\\folder\\" + group.name();
  EXPECT_EQ(common::GetProcessID(group.name().c_str()), helper.id());
  EXPECT_EQ(common::GetProcessID(Upper(group.name()).c_str()), helper.id());
  EXPECT_EQ(common::GetProcessID(elsewhere.c_str()), helper.id());
  EXPECT_TRUE(common::CheckExeIsRunning(group.name().c_str()));
  EXPECT_FALSE(common::CheckExeIsRunning(Upper(group.name()).c_str()));
  EXPECT_FALSE(common::CheckExeIsRunning(elsewhere.c_str()));
  EXPECT_FALSE(common::CheckExeIsRunning(group.program().c_str()));
}

TEST(FindProcess, OfTwoOfOneNameTheOlderIsFound) {
  HelperGroup group(L"tq_two");
  const DWORD older = group.Start(L"sleep -1").id();
  group.Start(L"sleep -1");
  EXPECT_EQ(common::GetProcessID(group.name().c_str()), older);
}

TEST(TerminateProcesses, EndsEveryInstance) {
  HelperGroup group(L"tq_three");
  for (int i = 0; i < 3; ++i) group.Start(L"sleep -1");
  EXPECT_TRUE(common::TerminateApp(group.name().c_str()));
  ASSERT_TRUE(group.AllEnded(0, 3, 5000));
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(group.at(i).WaitForExit(0), 0u) << i;
  EXPECT_EQ(common::GetProcessID(group.name().c_str()), 0u);
}

TEST(TerminateProcesses, EndsAtMostThirty) {
  HelperGroup group(L"tq_many");
  for (int i = 0; i < 35; ++i) group.Start(L"sleep -1");
  CountedPauses pauses;
  EXPECT_TRUE(common::TerminateApp(group.name().c_str()));
  EXPECT_EQ(pauses.count(), 30);
  EXPECT_GE(group.CountRunning(), 5u);
  EXPECT_LT(group.CountRunning(), 35u);
}

TEST(TerminateProcesses, NoMatchReturnsWithoutPausing) {
  CountedPauses pauses;
  EXPECT_TRUE(common::TerminateApp(L"tq_nothing_runs_by_this_name.exe"));
  EXPECT_TRUE(common::TerminateAppIgnoreSelf(L"tq_nothing_runs_by_this_name.exe"));
  EXPECT_EQ(pauses.count(), 0);
}

TEST(TerminateProcesses, IgnoreSelfEndsOnlyTheOlderSiblings) {
  HelperGroup group(L"tq_siblings");
  const std::wstring go = L"tq_siblings_go_" + std::to_wstring(::GetCurrentProcessId());
  const win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, go.c_str()));
  group.Start(L"sleep -1");
  group.Start(L"sleep -1");
  Helper& caller = group.Start(L"wait " + go + L" killsiblings");
  group.Start(L"sleep -1");
  group.Start(L"sleep -1");
  ::SetEvent(event.get());
  EXPECT_EQ(caller.WaitForExit(10000), 0u);
  EXPECT_EQ(RecordValue(testing_support::ReadBytes(group.RecordOf(2)), "killsiblings"), "done");
  EXPECT_TRUE(group.AllEnded(0, 2, 5000));
  EXPECT_TRUE(group.at(3).Running());
  EXPECT_TRUE(group.at(4).Running());
}

// Names in the system's namespaces (Global\..., Local\...) are valid and work as plain ones.
TEST(Mutexes, IsAppExistTestsWithoutLeavingAMutex) {
  const std::wstring base = L"tq_mutex_probe_" + std::to_wstring(::GetCurrentProcessId());
  for (const std::wstring& name : {base, L"Global\\" + base, L"Local\\" + base}) {
    SCOPED_TRACE(Narrow(name));
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

TEST(BadInput, EveryFunctionGivesItsFailureResult) {
  const std::wstring long_name = std::wstring(300, L'n');
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", long_name.c_str()}) {
    SCOPED_TRACE(name == nullptr ? "null" : Narrow(name).substr(0, 8));
    CountedPauses pauses;
    EXPECT_EQ(common::GetProcessID(name), 0u);
    EXPECT_FALSE(common::CheckExeIsRunning(name));
    EXPECT_TRUE(common::TerminateApp(name));
    EXPECT_TRUE(common::TerminateAppIgnoreSelf(name));
    EXPECT_FALSE(common::ShowApp(name));
    EXPECT_EQ(pauses.count(), 0);
  }
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L"a\\b"}) {
    SCOPED_TRACE(name == nullptr ? "null" : Narrow(name));
    EXPECT_FALSE(common::IsAppExist(name));
    EXPECT_EQ(common::CreateAppMutex(name), nullptr);
  }
}

}  // namespace
