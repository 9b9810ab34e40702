#include "t_common/self_management.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <regex>
#include <string>
#include <vector>

#include "process/helper_process.h"
#include "support/test_support.h"
#include "t_common/processes.h"
#include "win/scoped_handle.h"

namespace {

using namespace process_testing;
using testing_support::ScopedTempDir;

constexpr DWORD kWatchdogExitCode = 0xFFFFFFFF;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The thread ids of the watchdog lines of one kind ("begin" or "end").
std::vector<std::string> WatchdogThreads(const DebugRun& run, const std::string& kind) {
  const std::regex line("_ExitMoniterThread " + kind + "<([0-9]+)><([0-9]+)>");
  std::vector<std::string> threads;
  std::smatch match;
  for (const auto& text : run.debug_lines)
    if (std::regex_match(text, match, line)) threads.push_back(match[1]);
  return threads;
}

// The helper under a debugger, recording into a temporary folder.
// first_watchdog gets the thread id of the first watchdog started.
DebugRun RunWatchdogHelper(const std::wstring& steps, std::string* first_watchdog = nullptr) {
  ScopedTempDir dir;
  DebugRun run = RunUnderDebugger(HelperPath(), L"--record \"" + dir.Child(L"rec.txt") + L"\" " + steps, 15000);
  if (first_watchdog) *first_watchdog = RecordValue(testing_support::ReadBytes(dir.Child(L"rec.txt")), "watchdog");
  return run;
}

int CountLines(const DebugRun& run, const std::string& text) {
  int count = 0;
  for (const auto& line : run.debug_lines) count += line == text ? 1 : 0;
  return count;
}

TEST(Watchdog, EndsTheProcessWithMinusOneAfterTwoDebuggerLines) {
  // With no delay the process may end before the helper records the thread.
  const DebugRun run = RunWatchdogHelper(L"watchdog 0 sleep 20000");
  EXPECT_EQ(run.exit_code, kWatchdogExitCode);
  const auto begins = WatchdogThreads(run, "begin");
  ASSERT_EQ(begins.size(), 1u);
  EXPECT_EQ(WatchdogThreads(run, "end"), begins);
}

// Cancelled while it waits out its delay, as callers do: a thread ended in the
// middle of sending its begin line could leave the process's locks held.
TEST(Watchdog, CancelledBeforeTheDelayTheProcessLivesOn) {
  const DebugRun run = RunWatchdogHelper(L"watchdog 1000 sleep 300 cancel sleep 1500");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(CountLines(run, "Cancel Moniter"), 1);
  EXPECT_EQ(WatchdogThreads(run, "begin").size(), 1u);
  EXPECT_TRUE(WatchdogThreads(run, "end").empty());
}

TEST(Watchdog, CancellingOneLeavesTheOtherRunning) {
  std::string first_watchdog;
  const DebugRun run = RunWatchdogHelper(L"watchdog 1000 watchdog 300 sleep 100 cancel sleep 20000", &first_watchdog);
  EXPECT_EQ(run.exit_code, kWatchdogExitCode);
  EXPECT_EQ(CountLines(run, "Cancel Moniter"), 1);
  EXPECT_GE(WatchdogThreads(run, "begin").size(), 1u);
  const auto ends = WatchdogThreads(run, "end");
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0], first_watchdog);
}

// A helper copy at program that runs steps and must end by itself.
std::string RunToEnd(const std::wstring& program, const std::wstring& record, const std::wstring& steps) {
  Helper helper(program, L"--record \"" + record + L"\" " + steps);
  EXPECT_EQ(helper.WaitForExit(15000), 0u);
  return testing_support::ReadBytes(record);
}

TEST(DelSelf, RemovesTheProgramFromAFolderWithALongName) {
  ScopedTempDir dir;
  const std::wstring folder = dir.Child(L"a folder with a long name");
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring program = CopyHelper(folder, UniqueExeName(L"tq_delete_me_program"));
  wchar_t short_path[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(program.c_str(), short_path, MAX_PATH), 0u);
  ASSERT_NE(std::wstring(short_path), program);
  const std::string record = RunToEnd(program, dir.Child(L"rec.txt"), L"delself priority");
  EXPECT_EQ(RecordValue(record, "delself"), "called");
  EXPECT_EQ(RecordValue(record, "priority"), "100");  // real time
  EXPECT_TRUE(WaitUntilGone(program, 10000));
  EXPECT_NE(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DelSelf, QuotesAShortPathThatHoldsAnAmpersand) {
  ScopedTempDir dir;
  const std::wstring folder = dir.Child(L"a&b");
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  // Unquoted, cmd would run "del ...\A" (this file) and "B\prog.exe > nul".
  const std::wstring bystander = dir.Child(L"a");
  ASSERT_TRUE(testing_support::WriteBytes(bystander, "keep"));
  const std::wstring program = CopyHelper(folder, L"prog.exe");
  const std::string record = RunToEnd(program, dir.Child(L"rec.txt"), L"delself");
  EXPECT_EQ(RecordValue(record, "delself"), "called");
  EXPECT_TRUE(WaitUntilGone(program, 10000));
  EXPECT_EQ(testing_support::ReadBytes(bystander), "keep");
}

TEST(DelSelf, WholeFolderRemovesTheFolderThatIsTheProgramsCurrentFolder) {
  ScopedTempDir dir;
  const std::wstring folder = dir.Child(L"installed program");
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring program = CopyHelper(folder, UniqueExeName(L"tq_delete_folder"));
  ASSERT_TRUE(testing_support::WriteBytes(folder + L"\\data.txt", "x"));
  const std::string record = RunToEnd(program, dir.Child(L"rec.txt"), L"delfolder");
  EXPECT_EQ(RecordValue(record, "folder"), Narrow(folder));
  EXPECT_EQ(RecordValue(record, "delfolder"), "called");
  EXPECT_TRUE(WaitUntilGone(folder, 10000));
}

// The test's prefix maps Q: to an empty folder (TQ_DRIVES in the CTest entry).
TEST(DelSelf, WholeFolderAtADriveRootRemovesNothing) {
  ASSERT_NE(::GetFileAttributesW(L"Q:\\"), INVALID_FILE_ATTRIBUTES) << "drive Q: is not mapped";
  const std::wstring program = CopyHelper(L"Q:", UniqueExeName(L"tq_root"));
  const std::wstring record = L"Q:\\root.rec";
  EXPECT_EQ(RecordValue(RunToEnd(program, record, L"delfolder"), "delfolder"), "called");
  EXPECT_FALSE(WaitUntilGone(program, 1500));
  ::DeleteFileW(program.c_str());
  ::DeleteFileW(record.c_str());
}

TEST(DelSelf, WithoutComspecNothingHappens) {
  ScopedTempDir dir;
  const std::wstring program = CopyHelper(dir.path(), UniqueExeName(L"tq_no_comspec"));
  wchar_t comspec[MAX_PATH] = {};
  ASSERT_NE(::GetEnvironmentVariableW(L"COMSPEC", comspec, MAX_PATH), 0u);
  ::SetEnvironmentVariableW(L"COMSPEC", nullptr);
  const std::string record = RunToEnd(program, dir.Child(L"rec.txt"), L"delself priority");
  ::SetEnvironmentVariableW(L"COMSPEC", comspec);
  EXPECT_EQ(RecordValue(record, "delself"), "called");
  EXPECT_EQ(RecordValue(record, "priority"), "20");  // normal
  EXPECT_FALSE(WaitUntilGone(program, 1500));
}

TEST(AppMutex, OneHolderAtATimeAcrossProcesses) {
  ScopedTempDir dir;
  const std::wstring program = CopyHelper(dir.path(), UniqueExeName(L"tq_mutex"));
  const std::wstring name = L"tq_app_mutex_" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring release = name + L"_release";
  const win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, release.c_str()));
  Helper first(program, L"--record \"" + dir.Child(L"1.txt") + L"\" mutex " + name + L" wait " + release);
  EXPECT_EQ(RecordValue(WaitForRecord(dir.Child(L"1.txt"), "mutex"), "mutex"), "handle");
  EXPECT_EQ(RecordValue(RunToEnd(program, dir.Child(L"2.txt"), L"mutex " + name), "mutex"), "null");
  ::SetEvent(event.get());
  EXPECT_EQ(first.WaitForExit(10000), 0u);
  EXPECT_EQ(RecordValue(RunToEnd(program, dir.Child(L"3.txt"), L"mutex " + name), "mutex"), "handle");
}

TEST(AppMutex, HasANullDacl) {
  const std::wstring name = L"tq_app_mutex_dacl_" + std::to_wstring(::GetCurrentProcessId());
  const win::ScopedHandle mutex(common::CreateAppMutex(name.c_str()));
  ASSERT_TRUE(mutex.valid());
  PACL dacl = reinterpret_cast<PACL>(1);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const win::ScopedLocalMemory owned(descriptor);
  EXPECT_EQ(dacl, nullptr);
}

TEST(Reboot, WithoutTheShutdownPrivilegeReturnsZeroAndRestartsNothing) {
  win::ScopedHandle own;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_QUERY,
                                 own.receive()));
  LUID_AND_ATTRIBUTES removed = {};
  ASSERT_TRUE(::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &removed.Luid));
  win::ScopedHandle restricted;
  ASSERT_TRUE(::CreateRestrictedToken(own.get(), 0, 0, nullptr, 1, &removed, 0, nullptr, restricted.receive()));

  ScopedTempDir dir;
  const std::wstring program = CopyHelper(dir.path(), UniqueExeName(L"tq_reboot"));
  Helper bystander(program, L"--record \"" + dir.Child(L"bystander.txt") + L"\" sleep -1");
  ASSERT_FALSE(WaitForRecord(dir.Child(L"bystander.txt"), "show").empty());
  Helper caller(program, L"--record \"" + dir.Child(L"rec.txt") + L"\" reboot", restricted.get());
  ASSERT_TRUE(caller.started());
  EXPECT_EQ(caller.WaitForExit(15000), 0u);
  EXPECT_EQ(RecordValue(testing_support::ReadBytes(dir.Child(L"rec.txt")), "reboot"), "0");
  ::Sleep(1000);  // ExitWindowsEx would end the prefix's processes within about a second
  EXPECT_TRUE(bystander.Running());
}

TEST(SelfManagementBadInput, NullHandlesAndNames) {
  common::CancelTerminateSelf(nullptr);
  EXPECT_EQ(common::CreateAppMutex(nullptr), nullptr);
  EXPECT_EQ(common::CreateAppMutex(L""), nullptr);
}

}  // namespace
