// The standard-user launch: the task registration through a recording fake scheduler and
// Wine's own (Windows 7 prefix), and the start through the shell (Windows XP prefix).
#include <windows.h>
#include <taskschd.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <thread>

#include "foundation/product_names.h"
#include "process/fake_task_scheduler.h"
#include "process/helper_process.h"
#include "support/test_support.h"
#include "t_common/os_version.h"
#include "t_common/processes.h"
#include "t_common/std_user_launch.h"
#include "t_common/text.h"
#include "win/com.h"
#include "win/windows_bitness.h"

namespace {

#define TASK TQ_TASK_NAME_PREFIX L"RunAsStdUser"
constexpr wchar_t kViewer[] = L"C:\\apps\\viewer.exe";
constexpr char kSuccessLine[] = "Success! Task successfully registered. : 0\n";
using fake_scheduler::Scheduler;
using testing_support::LogWatch;

// No user id, no working folder, nothing else set; everything released.
TEST(FakeScheduler, RunAsStdUserRegistersAnUnelevatedTaskStartedByItsRegistration) {
  for (const wchar_t* parameters : {L"--quote sh600000", static_cast<const wchar_t*>(nullptr)}) {
    Scheduler scheduler;
    const common::ScopedTaskSchedulerAccess access(scheduler.Access());
    LogWatch log;
    ASSERT_TRUE(common::RunAsStdUser(kViewer, parameters));
    EXPECT_EQ(scheduler.Definition(),
              L"Actions.Create=0\nExecAction.put_Arguments=" + std::wstring(parameters ? parameters : L"(null)") +
                  L"\nExecAction.put_Path=C:\\apps\\viewer.exe\nFolder.DeleteTask=" TASK L" 0\n"
                  L"Folder.RegisterTaskDefinition=" TASK L" (the new task) 6 (empty) (empty) 3 \"\"\n"
                  L"Principal.put_Id=" TASK L"_Principal\nPrincipal.put_LogonType=3\nPrincipal.put_RunLevel=0\n"
                  L"RegistrationInfo.put_Author=" TASK L"\nService.Connect=(empty) (empty) (empty) (empty)\n"
                  L"Service.GetFolder=\\\nService.NewTask=0\nSettings.put_DisallowStartIfOnBatteries=0\n"
                  L"Settings.put_StartWhenAvailable=1\nSettings.put_StopIfGoingOnBatteries=0\n"
                  L"Trigger.put_Delay=PT0S\nTrigger.put_Id=" TASK L"_Trigger\nTriggers.Create=7\n");
    EXPECT_EQ(scheduler.references, 0);
    EXPECT_EQ(log.Added(), kSuccessLine);
  }
}

// The hour without a leading zero, the end a year after the start.
TEST(FakeScheduler, DailyTaskRepeatsWithinTheDayAndRunsForAYearFromNow) {
  const struct { int minutes; const wchar_t* interval; } cases[] = {{90, L"PT1H30M"}, {120, L"PT2H"}, {45, L"PT45M"},
      {1440, L"PT24H"}, {2, L"PT2M"}, {1, nullptr}, {1441, nullptr}, {0, nullptr}};
  for (const auto& c : cases) {
    Scheduler scheduler;
    const common::ScopedTaskSchedulerAccess access(scheduler.Access());
    const auto expected = [&] {
      SYSTEMTIME t;
      ::GetLocalTime(&t);
      wchar_t boundaries[160];
      std::swprintf(boundaries, 160,
                    L"Trigger.put_EndBoundary=%d-%02d-%02dT%d:%02d:%02d\nTrigger.put_Id=" TASK
                    L"_Trigger\nTrigger.put_StartBoundary=%d-%02d-%02dT%d:%02d:%02d\n",
                    t.wYear + 1, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wYear, t.wMonth, t.wDay, t.wHour,
                    t.wMinute, t.wSecond);
      return (c.interval ? L"Repetition.put_Interval=" + std::wstring(c.interval) + L"\n" : L"") +
             L"Trigger.put_DaysInterval=1\n" + boundaries + L"Triggers.Create=2\n";
    };
    const std::wstring before = expected();
    ASSERT_TRUE(common::RegisterLaunchTask(TASK, kViewer, L"-x", c.minutes, TASK_TRIGGER_DAILY));
    const std::wstring daily = scheduler.Definition(L"Repetition") + scheduler.Definition(L"Trigger");
    EXPECT_TRUE(daily == before || daily == expected()) << c.minutes << "\n" << common::ws2s(daily);
    EXPECT_EQ(scheduler.references, 0);
  }
}

// Each step failing in turn: a step that fails the registration logs its line with
// the code in hexadecimal and everything is released; the others are passed over.
TEST(FakeScheduler, EachFailingStepIsLoggedAndReleasesEverything) {
  // line null: no line, and the registration goes through.
  const struct { const wchar_t* call; HRESULT code; int trigger_type; const char* line; bool registered; } cases[] = {
      {L"CoInitializeSecurity", E_ACCESSDENIED, 7, "CoInitializeSecurity failed: 80070005", true},
      {L"CoInitializeSecurity", RPC_E_TOO_LATE, 7, nullptr, true},
      {L"CoCreateInstance", CO_E_NOTINITIALIZED, 7, "Failed to create an instance of ITaskService: 800401f0", false},
      {L"Service.Connect", E_ACCESSDENIED, 7, "ITaskService::Connect failed: 80070005", false},
      {L"Service.GetFolder", E_INVALIDARG, 7, "Cannot get Root Folder pointer: 80070057", false},
      {L"Folder.DeleteTask", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 7, nullptr, true},
      {L"Service.NewTask", E_OUTOFMEMORY, 7, "Failed to create a task definition: 8007000e", false},
      {L"Definition.get_RegistrationInfo", E_FAIL, 7, "Cannot get identification pointer: 80004005", false},
      {L"RegistrationInfo.put_Author", E_NOTIMPL, 7, nullptr, true},
      {L"Definition.get_Principal", E_FAIL, 7, "Cannot get principal pointer: 80004005", false},
      {L"Principal.put_LogonType", E_NOTIMPL, 7, nullptr, true},
      {L"Principal.put_RunLevel", E_NOTIMPL, 7, nullptr, true},
      {L"Definition.get_Settings", E_FAIL, 7, "Cannot get settings pointer: 80004005", false},
      {L"Definition.get_Triggers", E_FAIL, 7, "Cannot get trigger collection: 80004005", false},
      {L"Triggers.Create", E_NOTIMPL, 7, "Cannot create a registration trigger: 80004001", false},
      {L"Trigger.QueryInterface", E_NOINTERFACE, 7, "Cannot create a registration trigger: 0", false},
      {L"Trigger.put_Id", E_NOTIMPL, 7, nullptr, true},
      {L"Triggers.Create", E_NOTIMPL, 2, "Cannot create a daily trigger: 80004001", false},
      {L"Trigger.QueryInterface", E_NOINTERFACE, 2, "Cannot create a daily trigger: 0", false},
      {L"Trigger.get_Repetition", E_NOTIMPL, 2, "Update repetition failedr: 80004001", false},
      {L"Trigger.put_EndBoundary", E_NOTIMPL, 2, nullptr, true},
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
    const bool registered = common::RegisterLaunchTask(TASK, kViewer, L"-x", 90, c.trigger_type);
    EXPECT_TRUE(registered || ::GetLastError() != ERROR_SUCCESS) << "a failure leaves its last error";
    EXPECT_EQ(registered, c.registered);
    EXPECT_EQ(log.Added(), (c.line ? c.line + std::string("\n") : "") + (c.registered ? kSuccessLine : ""));
    EXPECT_EQ(scheduler.values.count(L"Folder.RegisterTaskDefinition"), c.registered ? 1u : 0u);
    EXPECT_EQ(scheduler.references, 0);
  }
}

// Wine's scheduler (a Windows 7 prefix) keeps a task as system32\tasks\<name>,
// UTF-8 XML behind a byte-order mark; a 32-bit process sees it under Sysnative.
std::wstring StoredTaskFile(const std::wstring& name) {
  wchar_t windows[MAX_PATH];
  ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows) + (win::IsWow64Process() ? L"\\Sysnative" : L"\\system32") + L"\\tasks\\" + name;
}

// Wine refuses a repetition pattern, so the daily form without one. A mark of
// ours in the stored file goes when the task is registered again.
TEST(RealScheduler, DailyTaskIsStoredAndASecondRegistrationReplacesIt) {
  const win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  const std::wstring name = TQ_TASK_NAME_PREFIX L"daily test " + std::to_wstring(::GetCurrentProcessId());
  const std::wstring file = StoredTaskFile(name);
  for (const char* mark : {"", "<!-- first registration -->"}) {
    ASSERT_TRUE(!*mark || testing_support::WriteBytes(file, testing_support::ReadBytes(file) + mark));
    ASSERT_TRUE(common::RegisterLaunchTask(name.c_str(), L"C:\\windows\\notepad.exe", L"a b", 1, TASK_TRIGGER_DAILY));
    const std::string stored = testing_support::ReadBytes(file);
    EXPECT_EQ(stored.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(stored.find("<Author>" + common::ws2s(name) + "</Author>"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("first registration"), std::string::npos) << stored;
  }
  EXPECT_TRUE(::DeleteFileW(file.c_str()));
}

// Without COM on the thread the service cannot be made: nothing is registered
// and nothing is started some other way.
TEST(RealScheduler, RunAsStdUserMeetsWinesRefusalOfTheRegistrationTrigger) {
  ASSERT_TRUE(common::IsVistaOrLater());
  for (const bool com_on_thread : {true, false}) {
    std::string added;
    std::thread([&] {
      win::ScopedComInitializer com;
      if (com_on_thread) com.Initialize();
      LogWatch log;
      EXPECT_FALSE(common::RunAsStdUser(L"C:\\windows\\notepad.exe", nullptr));
      added = log.Added();
    }).join();
    EXPECT_NE(added.find(com_on_thread ? "Cannot create a registration trigger: 80004001\n"
                                       : "Failed to create an instance of ITaskService: 800401f0\n"),
              std::string::npos)
        << added;
    EXPECT_EQ(::GetFileAttributesW(StoredTaskFile(TASK).c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

// Shown normally, with the parameters as given, not waited for, and no task.
TEST(WindowsXp, RunAsStdUserStartsTheProgramThroughTheShell) {
  ASSERT_FALSE(common::IsVistaOrLater());
  const process_testing::HelperCopy copy(L"tq_std_user");
  const std::wstring parameters = copy.Arguments(L"sleep 60000");
  LogWatch log;
  ASSERT_TRUE(common::RunAsStdUser(copy.program.c_str(), parameters.c_str()));
  EXPECT_EQ(process_testing::RecordValue(copy.Record(), "show", 30000), "1");
  EXPECT_EQ(process_testing::RecordValue(copy.Record(), "flags"), std::to_string(STARTF_USESHOWWINDOW));
  const std::string command_line = process_testing::RecordValue(copy.Record(), "command line");
  EXPECT_EQ(command_line.rfind(common::ws2s(parameters)), command_line.size() - parameters.size()) << command_line;
  EXPECT_TRUE(common::CheckExeIsRunning(copy.name.c_str()));
  common::TerminateApp(copy.name.c_str());
  EXPECT_EQ(log.Added(), "");
  EXPECT_EQ(::GetFileAttributesW(StoredTaskFile(TASK).c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
