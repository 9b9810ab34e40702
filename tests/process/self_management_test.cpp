#include "t_common/self_management.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <aclapi.h>

#include <atomic>
#include <cwchar>
#include <regex>
#include <string>
#include <vector>

#include "process/helper_process.h"
#include "support/test_support.h"
#include "t_common/processes.h"
#include "t_common/text.h"
#include "win/scoped_handle.h"

namespace {

using namespace process_testing;
using common::ws2s;
using testing_support::IsChildRun;
using testing_support::RunSelfInChild;

// The helper run with watchdog steps: its exit code (STILL_ACTIVE after 15 s),
// how many watchdogs sent their begin and end texts, how many were cancelled,
// and whether the one that ended is the first one started.
std::string WatchdogRun(const std::wstring& steps) {
  const HelperCopy copy(L"tq_watchdog");
  const DWORD code = Helper(copy.program, copy.Arguments(steps)).WaitForExit(15000);
  // With no delay the process may end before the helper records the thread.
  const std::string record = testing_support::ReadBytes(copy.Record()), first = RecordValue(copy.Record(), "watchdog");
  const auto count = [&](const std::string& text) {
    const std::regex pattern("debug: " + text + "\n");
    return std::to_string(std::distance(std::sregex_iterator(record.begin(), record.end(), pattern), {}));
  };
  return "exit " + std::to_string(code) + ", begun " + count("_ExitMoniterThread begin<\\d+><\\d+>") + ", cancelled " +
         count("Cancel Moniter") + ", ended " + count("_ExitMoniterThread end<\\d+><\\d+>") + ", the first " +
         count("_ExitMoniterThread end<" + (first.empty() ? "\\d+" : first) + "><\\d+>");
}

// Cancelled while it waits out its delay, as callers do, the process lives on;
// cancelling one leaves another running.
TEST(Watchdog, EndsTheProcessWithMinusOneUnlessCancelled) {
  EXPECT_EQ(WatchdogRun(L"watchdog 0 sleep 20000"), "exit 4294967295, begun 1, cancelled 0, ended 1, the first 1");
  EXPECT_EQ(WatchdogRun(L"watchdog 1000 sleep 300 cancel sleep 1500"), "exit 0, begun 1, cancelled 1, ended 0, the first 0");
  EXPECT_EQ(WatchdogRun(L"watchdog 1000 watchdog 300 sleep 100 cancel sleep 20000"),
            "exit 4294967295, begun 2, cancelled 1, ended 1, the first 1");
}

size_t OwnThreadCount() {
  const win::ScopedSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  size_t count = 0;
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
    count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
  return count;
}

// A watchdog ended from outside while it was still starting could leave the
// loader or heap lock held, and the next thread start or exit then hung.
TEST(Watchdog, StartedAndCancelledAtOnceEndsItselfWithoutHangingTheProcess) {
  if (!IsChildRun()) {
    EXPECT_EQ(RunSelfInChild("Watchdog.StartedAndCancelledAtOnceEndsItselfWithoutHangingTheProcess", {}, 90000), 0);
    return;
  }
  const size_t threads = OwnThreadCount();
  const auto pairs = [](int count) {
    for (int i = 0; i < count; ++i) common::CancelTerminateSelf(common::ForceTerminateSelf(60000));
  };
  pairs(1000);
  testing_support::RunOnThreadsAtOnce(4, [&] { pairs(250); });
  EXPECT_TRUE(WaitFor([&] { return OwnThreadCount() <= threads; })) << OwnThreadCount() << " threads, " << threads;
}

std::atomic<int> g_cancel_texts{0};

LONG CALLBACK CountCancelTexts(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& raised = *exception->ExceptionRecord;
  if (raised.ExceptionCode == DBG_PRINTEXCEPTION_C && raised.NumberParameters >= 2 &&
      std::string(reinterpret_cast<const char*>(raised.ExceptionInformation[1])) == "Cancel Moniter")
    ++g_cancel_texts;
  return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI WaitOn(void* event) { return ::WaitForSingleObject(event, INFINITE); }

// Only what ForceTerminateSelf returned is a watchdog: any other value, even
// one that was a watchdog's before it was cancelled, is neither ended nor closed.
TEST(Watchdog, CancelLeavesEveryOtherHandleAlone) {
  if (!IsChildRun()) {
    EXPECT_EQ(RunSelfInChild("Watchdog.CancelLeavesEveryOtherHandleAlone", {}, 60000), 0);
    return;
  }
  ::AddVectoredExceptionHandler(1, &CountCancelTexts);
  const win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const win::ScopedHandle other(::CreateThread(nullptr, 0, &WaitOn, event.get(), 0, nullptr));
  void* const watchdog = common::ForceTerminateSelf(60000);
  ASSERT_TRUE(other && watchdog);
  common::CancelTerminateSelf(watchdog);
  // The freed value goes to a later handle: one to the other thread.
  std::vector<win::ScopedHandle> copies;
  while (copies.size() < 64 && (copies.empty() || copies.back().get() != watchdog)) {
    copies.emplace_back();
    ::DuplicateHandle(::GetCurrentProcess(), other.get(), ::GetCurrentProcess(), copies.back().receive(), 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
  }
  ASSERT_EQ(copies.back().get(), watchdog) << "the cancelled watchdog's handle value was not reused";
  for (HANDLE handle : {other.get(), event.get(), static_cast<HANDLE>(watchdog), ::GetCurrentThread(), HANDLE()}) {
    common::CancelTerminateSelf(handle);
    for (HANDLE alive : {other.get(), copies.back().get(), event.get()})
      EXPECT_EQ(::WaitForSingleObject(alive, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << handle << " ended " << alive;
  }
  EXPECT_EQ(g_cancel_texts, 1);
  ::SetEvent(event.get());
  EXPECT_EQ(::WaitForSingleObject(other.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
}

// The recorded priority shows whether DelSelf handed the command over (real
// time) or did nothing (normal). A caller that lives on a while after the
// call is still removed once it has ended.
TEST(DelSelf, RemovesTheProgramOrItsFolderOnceItEnded) {
  const testing_support::ScopedTempDir dir;
  // Unquoted, cmd would take "...\a&b\prog.exe" for "del ...\A" (this file) and "B\prog.exe > nul".
  const std::wstring bystander = dir.Child(L"a"), record = dir.Child(L"rec.txt");
  ASSERT_TRUE(testing_support::WriteBytes(bystander, "keep"));
  // The folder is under dir, or a drive root; then is what the program does after the call.
  const struct { const wchar_t* folder; const wchar_t* step; const wchar_t* then; bool comspec, removed; } cases[] = {
      {L"a folder with a long name", L"delself", L"", true, true},  // removed through its short path
      {L"a&b", L"delself", L"", true, true},
      {L"installed program", L"delfolder", L"", true, true},  // the program's current folder
      {L"lives on", L"delself", L"sleep 1500", true, true},
      {L"lives on too", L"delfolder", L"sleep 1500", true, true},
      {L"Q:", L"delfolder", L"", true, false},  // the test's prefix maps Q: to an empty folder
      {L"no comspec", L"delself", L"", false, false},
  };
  wchar_t comspec[MAX_PATH] = {};
  ASSERT_NE(::GetEnvironmentVariableW(L"COMSPEC", comspec, MAX_PATH), 0u);
  for (const auto& c : cases) {
    SCOPED_TRACE(ws2s(c.folder));
    const bool root = c.folder[1] == L':', whole_folder = c.step == std::wstring(L"delfolder");
    const std::wstring folder = root ? c.folder : dir.Child(c.folder);
    ASSERT_TRUE(root || (::CreateDirectoryW(folder.c_str(), nullptr) &&
                         testing_support::WriteBytes(folder + L"\\data.txt", "x")));
    const std::wstring program = CopyHelper(folder, L"prog.exe");
    wchar_t short_path[MAX_PATH] = {};
    ASSERT_NE(::GetShortPathNameW(program.c_str(), short_path, MAX_PATH), 0u);
    ASSERT_TRUE(!std::wcschr(c.folder, L' ') || short_path != program) << "no short path for " << ws2s(program);
    if (!c.comspec) ::SetEnvironmentVariableW(L"COMSPEC", nullptr);
    const Helper helper(program, L"--record \"" + record + L"\" " + c.step + L" " + c.then);
    ::SetEnvironmentVariableW(L"COMSPEC", comspec);
    EXPECT_EQ(helper.WaitForExit(15000), 0u);
    EXPECT_EQ(RecordValue(record, "priority"),
              std::to_string(c.removed ? REALTIME_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(RecordValue(record, "folder"), ws2s(root ? folder + L"\\" : folder));
    const std::wstring removed = whole_folder ? folder : program;
    EXPECT_EQ(WaitFor([&] { return ::GetFileAttributesW(removed.c_str()) == INVALID_FILE_ATTRIBUTES; },
                      c.removed ? 10000 : 1500),
              c.removed);
    EXPECT_EQ(::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES, !(whole_folder && c.removed));
    EXPECT_EQ(testing_support::ReadBytes(bystander), "keep");
    ::DeleteFileW(program.c_str());
  }
}

// One holder at a time, in this process or another; names in the system's
// namespaces work as plain ones. A null DACL lets any user and integrity level
// open the mutex, and IsAppExist leaves none behind.
TEST(AppMutex, HasOneHolderAndIsAppExistLeavesNone) {
  const HelperCopy copy(L"tq_mutex");
  const auto taken_by_helper = [&](const std::wstring& name) {
    const Helper helper(copy.program, copy.Arguments(L"mutex " + name));
    EXPECT_EQ(helper.WaitForExit(15000), 0u);
    return RecordValue(copy.Record(), "mutex");
  };
  const std::wstring base = UniqueName(L"tq_mutex_probe");
  for (const std::wstring& name : {base, L"Global\\" + base, L"Local\\" + base}) {
    SCOPED_TRACE(ws2s(name));
    EXPECT_FALSE(common::IsAppExist(name.c_str()));
    EXPECT_EQ(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    {
      const win::ScopedHandle held(common::CreateAppMutex(name.c_str()));
      PACL dacl = reinterpret_cast<PACL>(1);
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      EXPECT_EQ(::GetSecurityInfo(held.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &descriptor), static_cast<DWORD>(ERROR_SUCCESS));
      const win::ScopedLocalMemory owned(descriptor);
      EXPECT_EQ(dacl, nullptr);
      EXPECT_TRUE(common::IsAppExist(name.c_str()));
      EXPECT_EQ(common::CreateAppMutex(name.c_str()), nullptr);
      EXPECT_EQ(taken_by_helper(name), "null");
    }
    EXPECT_FALSE(common::IsAppExist(name.c_str()));
    EXPECT_EQ(taken_by_helper(name), "handle");
  }
}

// Without the shutdown privilege: 0, and no other process of the prefix ends
// (ExitWindowsEx would end them within about a second).
TEST(Reboot, WithoutTheShutdownPrivilegeReturnsZeroAndRestartsNothing) {
  win::ScopedHandle own, restricted;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_QUERY,
                                 own.receive()));
  LUID_AND_ATTRIBUTES removed = {};
  ASSERT_TRUE(::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &removed.Luid));
  ASSERT_TRUE(::CreateRestrictedToken(own.get(), 0, 0, nullptr, 1, &removed, 0, nullptr, restricted.receive()));
  const HelperCopy copy(L"tq_reboot");
  const auto bystander = copy.Start(L"sleep -1", 1);
  const Helper caller(copy.program, copy.Arguments(L"reboot"), restricted.get());
  EXPECT_EQ(caller.WaitForExit(15000), 0u);
  EXPECT_EQ(RecordValue(copy.Record(), "reboot"), "0");
  ::Sleep(1000);
  EXPECT_TRUE(bystander->Running());
}

}  // namespace
