// The standard-user launch: the task registration through a recording fake scheduler and
// Wine's own (Windows 7 prefix), and the start through the shell (Windows XP prefix).
#include <windows.h>
#include <taskschd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/product_names.h"
#include "process/fake_task_scheduler.h"
#include "process/helper_process.h"
#include "support/test_support.h"
#include "t_common/os_version.h"
#include "t_common/std_user_launch.h"
#include "t_common/text.h"
#include "win/com.h"
#include "win/scoped_handle.h"
#include "win/windows_bitness.h"

namespace {

#define TASK_NAME TQ_TASK_NAME_PREFIX L"RunAsStdUser"
constexpr wchar_t kTaskName[] = TASK_NAME;
constexpr wchar_t kViewer[] = L"C:\\apps\\viewer.exe";
using fake_scheduler::Scheduler;
using testing_support::ReadProgramLog;

constexpr char kSuccessLine[] = "Success! Task successfully registered. : 0\n";

using testing_support::LogWatch;

bool HasLine(const std::string& log, const std::string& line) {
  return ("\n" + log).find("\n" + line + "\n") != std::string::npos;
}

TEST(FakeScheduler, RunAsStdUserRegistersAnUnelevatedTaskStartedByItsRegistrationAndReleasesEverything) {
  // Every value set, and nothing else: no user id, no working folder.
  std::map<std::wstring, std::wstring> expected = {
      {L"Service.Connect", L"(empty) (empty) (empty) (empty)"}, {L"Service.GetFolder", L"\\"},
      {L"Folder.DeleteTask", TASK_NAME L" 0"}, {L"Service.NewTask", L"0"}, {L"RegistrationInfo.Author", TASK_NAME},
      {L"Principal.Id", TASK_NAME L"_Principal"}, {L"Principal.LogonType", L"3"}, {L"Principal.RunLevel", L"0"},
      {L"Settings.StartWhenAvailable", L"1"}, {L"Settings.StopIfGoingOnBatteries", L"0"},
      {L"Settings.DisallowStartIfOnBatteries", L"0"}, {L"Triggers.Create", L"7"},
      {L"Trigger.Id", TASK_NAME L"_Trigger"}, {L"Trigger.Delay", L"PT0S"}, {L"Actions.Create", L"0"},
      {L"ExecAction.Path", kViewer}, {L"Registration.Path", TASK_NAME},
      {L"Registration.Definition", L"the new task"}, {L"Registration.Flags", L"6"},
      {L"Registration.User", L"(empty)"}, {L"Registration.Password", L"(empty)"},
      {L"Registration.LogonType", L"3"}, {L"Registration.SecurityDescriptor", L"\"\""},
  };
  // Null parameters give the action no arguments.
  for (const wchar_t* parameters : {L"--quote sh600000", static_cast<const wchar_t*>(nullptr)}) {
    SCOPED_TRACE(parameters ? "parameters" : "null parameters");
    Scheduler scheduler;
    const common::ScopedTaskSchedulerAccess access(scheduler.Access());
    LogWatch log;
    ASSERT_TRUE(common::RunAsStdUser(kViewer, parameters));
    expected[L"ExecAction.Arguments"] = parameters ? parameters : L"(null)";
    EXPECT_EQ(scheduler.values, expected);
    const auto& calls = scheduler.calls;
    EXPECT_LT(std::find(calls.begin(), calls.end(), L"Folder.DeleteTask") - calls.begin(),
              std::find(calls.begin(), calls.end(), L"Service.NewTask") - calls.begin());
    EXPECT_EQ(calls.front(), L"CoInitializeSecurity");
    EXPECT_EQ(calls.back(), L"Folder.RegisterTaskDefinition");
    EXPECT_EQ(scheduler.Unbalanced(), std::vector<std::wstring>());
    EXPECT_EQ(log.Added(), kSuccessLine);
  }
}

// The boundaries with the hour without a leading zero, the end a year after the start.
TEST(FakeScheduler, DailyTaskRepeatsWithinTheDayAndRunsForAYearFromNow) {
  const struct {
    int minutes;
    const wchar_t* interval;
  } cases[] = {{90, L"PT1H30M"}, {120, L"PT2H"}, {45, L"PT45M"},  {1440, L"PT24H"},
               {2, L"PT2M"},     {1, L"(none)"}, {1441, L"(none)"}, {0, L"(none)"}};
  const auto boundary = [](const SYSTEMTIME& t, int years) {
    wchar_t text[40];
    std::swprintf(text, 40, L"%d-%02d-%02dT%d:%02d:%02d", t.wYear + years, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return std::wstring(text);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.minutes);
    Scheduler scheduler;
    const common::ScopedTaskSchedulerAccess access(scheduler.Access());
    SYSTEMTIME before, after;
    ::GetLocalTime(&before);
    ASSERT_TRUE(common::RegisterLaunchTask(kTaskName, kViewer, L"-x", c.minutes, TASK_TRIGGER_DAILY));
    ::GetLocalTime(&after);
    auto& values = scheduler.values;
    EXPECT_EQ(values[L"Triggers.Create"], L"2");
    EXPECT_EQ(values[L"Trigger.Id"], TASK_NAME L"_Trigger");
    EXPECT_EQ(values.count(L"Trigger.Delay"), 0u);
    EXPECT_EQ(values.count(L"Repetition.Interval") ? values[L"Repetition.Interval"] : L"(none)", c.interval);
    // Without repetition no pattern is asked for either.
    EXPECT_EQ(std::count(scheduler.calls.begin(), scheduler.calls.end(), L"Trigger.get_Repetition"),
              c.interval[0] == L'P' ? 1 : 0);
    EXPECT_EQ(values[L"Trigger.DaysInterval"], L"1");
    const SYSTEMTIME& start = values[L"Trigger.StartBoundary"] == boundary(before, 0) ? before : after;
    EXPECT_EQ(values[L"Trigger.StartBoundary"], boundary(start, 0));
    EXPECT_EQ(values[L"Trigger.EndBoundary"], boundary(start, 1));
    EXPECT_EQ(scheduler.Unbalanced(), std::vector<std::wstring>());
  }
}

// Each step failing in turn: a step that fails the registration logs its line with
// the code in hexadecimal and everything is released; the others are passed over.
TEST(FakeScheduler, EachFailingStepIsLoggedAndReleasesEverything) {
  const struct {
    const wchar_t* call;
    HRESULT code;
    int trigger_type;
    const char* line;  // null: no line, and the registration goes through
    bool registered;
  } cases[] = {
      {L"CoInitializeSecurity", E_ACCESSDENIED, 7, "CoInitializeSecurity failed: 80070005", true},
      {L"CoInitializeSecurity", RPC_E_TOO_LATE, 7, nullptr, true},
      {L"CoCreateInstance", CO_E_NOTINITIALIZED, 7, "Failed to create an instance of ITaskService: 800401f0", false},
      {L"Service.Connect", E_ACCESSDENIED, 7, "ITaskService::Connect failed: 80070005", false},
      {L"Service.GetFolder", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 7, "Cannot get Root Folder pointer: 80070002",
       false},
      {L"Folder.DeleteTask", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 7, nullptr, true},
      {L"Service.NewTask", E_OUTOFMEMORY, 7, "Failed to create a task definition: 8007000e", false},
      {L"Definition.get_RegistrationInfo", E_FAIL, 7, "Cannot get identification pointer: 80004005", false},
      {L"RegistrationInfo.Author", E_NOTIMPL, 7, nullptr, true},
      {L"Definition.get_Principal", E_FAIL, 7, "Cannot get principal pointer: 80004005", false},
      {L"Principal.LogonType", E_NOTIMPL, 7, nullptr, true},
      {L"Principal.RunLevel", E_NOTIMPL, 7, nullptr, true},
      {L"Definition.get_Settings", E_FAIL, 7, "Cannot get settings pointer: 80004005", false},
      {L"Definition.get_Triggers", E_FAIL, 7, "Cannot get trigger collection: 80004005", false},
      {L"Triggers.Create", E_NOTIMPL, 7, "Cannot create a registration trigger: 80004001", false},
      {L"Trigger.QueryInterface", E_NOINTERFACE, 7, "Cannot create a registration trigger: 0", false},
      {L"Trigger.Id", E_NOTIMPL, 7, nullptr, true},
      {L"Triggers.Create", E_NOTIMPL, 2, "Cannot create a daily trigger: 80004001", false},
      {L"Trigger.QueryInterface", E_NOINTERFACE, 2, "Cannot create a daily trigger: 0", false},
      {L"Trigger.get_Repetition", E_NOTIMPL, 2, "Update repetition failedr: 80004001", false},
      {L"Trigger.EndBoundary", E_NOTIMPL, 2, nullptr, true},
      {L"Definition.get_Actions", E_FAIL, 7, "Cannot get Task collection pointer: 80004005", false},
      {L"Actions.Create", E_INVALIDARG, 7, "Cannot create action: 80070057", false},
      {L"ExecAction.QueryInterface", E_NOINTERFACE, 7, "Cannot create action: 80004002", false},
      {L"Folder.RegisterTaskDefinition", E_ACCESSDENIED, 7, "Error saving the Task : 80070005", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(common::ws2s(c.call) + " type " + std::to_string(c.trigger_type));
    Scheduler scheduler;
    scheduler.failures[c.call] = c.code;
    const common::ScopedTaskSchedulerAccess access(scheduler.Access());
    LogWatch log;
    ::SetLastError(ERROR_SUCCESS);
    const bool registered = common::RegisterLaunchTask(kTaskName, kViewer, L"-x", 90, c.trigger_type);
    const DWORD last_error = ::GetLastError();
    EXPECT_EQ(registered, c.registered);
    EXPECT_TRUE(registered || last_error != ERROR_SUCCESS) << "a failure leaves its last error";
    // Nothing else logged: the failing line, the success line, or both.
    EXPECT_EQ(log.Added(), (c.line ? c.line + std::string("\n") : "") + (c.registered ? kSuccessLine : ""));
    EXPECT_EQ(scheduler.values.count(L"Registration.Path"), c.registered ? 1u : 0u);
    EXPECT_EQ(scheduler.Unbalanced(), std::vector<std::wstring>());
  }
}

// Wine's own scheduler (a Windows 7 prefix) stores a registered task as the
// file system32\tasks\<name>, UTF-8 XML behind a byte-order mark. A 32-bit
// process on 64-bit Windows sees SysWOW64 as system32 and the real one as
// Sysnative.
std::wstring StoredTaskFile(const std::wstring& name) {
  wchar_t windows[MAX_PATH];
  ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows) + (win::IsWow64Process() ? L"\\Sysnative" : L"\\system32") + L"\\tasks\\" + name;
}

TEST(RealScheduler, DailyTaskIsStoredAndASecondRegistrationReplacesIt) {
  const win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(com.usable());
  const std::wstring name = TQ_TASK_NAME_PREFIX L"daily test " + std::to_wstring(::GetCurrentProcessId());
  const std::wstring file = StoredTaskFile(name);
  const std::string author = "<Author>" + common::ws2s(name) + "</Author>";
  // Wine refuses a repetition pattern, so the daily form without one. A mark
  // of ours in the stored file goes when the task is registered again.
  for (const char* mark : {"", "<!-- first registration -->"}) {
    if (*mark) {
      ASSERT_TRUE(testing_support::WriteBytes(file, testing_support::ReadBytes(file) + mark));
    }
    ASSERT_TRUE(common::RegisterLaunchTask(name.c_str(), L"C:\\windows\\notepad.exe", L"a b", 1, TASK_TRIGGER_DAILY));
    const std::string stored = testing_support::ReadBytes(file);
    EXPECT_EQ(stored.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(stored.find(author), std::string::npos) << stored;
    EXPECT_EQ(stored.find("first registration"), std::string::npos) << stored;
  }
  EXPECT_TRUE(::DeleteFileW(file.c_str()));
}

TEST(RealScheduler, RunAsStdUserMeetsWinesRefusalOfTheRegistrationTrigger) {
  const win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(com.usable());
  ASSERT_TRUE(common::IsVistaOrLater());
  LogWatch log;
  EXPECT_FALSE(common::RunAsStdUser(L"C:\\windows\\notepad.exe", nullptr));
  EXPECT_TRUE(HasLine(log.Added(), "Cannot create a registration trigger: 80004001")) << log.Added();
  EXPECT_EQ(::GetFileAttributesW(StoredTaskFile(kTaskName).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(RealScheduler, WithoutComOnTheThreadNothingIsRegistered) {
  bool launched = true;
  std::string added;
  std::thread([&] {
    LogWatch log;
    launched = common::RunAsStdUser(L"C:\\windows\\notepad.exe", nullptr);
    added = log.Added();
  }).join();
  EXPECT_FALSE(launched);
  EXPECT_TRUE(HasLine(added, "Failed to create an instance of ITaskService: 800401f0")) << added;
}

TEST(WindowsXp, RunAsStdUserStartsTheProgramThroughTheShell) {
  ASSERT_FALSE(common::IsVistaOrLater());
  const process_testing::HelperCopy copy(L"tq_std_user");
  const std::wstring parameters = copy.Arguments(L"sleep 60000");
  LogWatch log;
  ASSERT_TRUE(common::RunAsStdUser(copy.program.c_str(), parameters.c_str()));
  // Shown normally, with the parameters as given.
  EXPECT_EQ(process_testing::WaitForRecordValue(copy.Record(), "show"), "1");
  EXPECT_EQ(process_testing::RecordValue(copy.Record(), "flags"), std::to_string(STARTF_USESHOWWINDOW));
  const std::string command_line = process_testing::RecordValue(copy.Record(), "command line");
  EXPECT_EQ(command_line.substr(command_line.size() - std::min(command_line.size(), parameters.size())),
            common::ws2s(parameters));
  // Not waited for: the program still runs after the call returned.
  const win::ScopedHandle child(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE,
                                              std::stoul("0" + process_testing::RecordValue(copy.Record(), "pid"))));
  ASSERT_TRUE(child.valid());
  EXPECT_EQ(::WaitForSingleObject(child.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ::TerminateProcess(child.get(), 0);
  ::WaitForSingleObject(child.get(), 5000);
  // No task: nothing went to the scheduler, which logs every outcome.
  EXPECT_EQ(log.Added(), "");
  EXPECT_EQ(::GetFileAttributesW(StoredTaskFile(kTaskName).c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
