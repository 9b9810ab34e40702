// The standard-user launch: the task registration through a recording fake
// scheduler, against Wine's own scheduler in a Windows 7 prefix, and the start
// through the shell in a Windows XP prefix.
#include <windows.h>
#include <taskschd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <string>
#include <thread>

#include "foundation/product_names.h"
#include "process/fake_task_scheduler.h"
#include "process/std_user_launch_internal.h"
#include "support/test_support.h"
#include "t_common/os_version.h"
#include "t_common/std_user_launch.h"
#include "t_common/text.h"
#include "win/com.h"
#include "win/scoped_handle.h"

namespace {

#define TASK_NAME TQ_TASK_NAME_PREFIX L"RunAsStdUser"
constexpr wchar_t kTaskName[] = TASK_NAME;

// What the program log gained while the object lived.
class LogWatch {
 public:
  LogWatch() : start_(testing_support::ReadProgramLog().size()) {}
  std::string Added() const { return testing_support::ReadProgramLog().substr(start_); }

 private:
  size_t start_;
};

class FakeSchedulerTest : public ::testing::Test {
 protected:
  bool Register(int trigger_value, int trigger_type, const wchar_t* parameters = L"--quote sh600000") {
    return common::RegisterLaunchTask(kTaskName, L"C:\\apps\\viewer.exe", parameters, trigger_value, trigger_type);
  }
  const std::wstring* Value(const std::wstring& name) const {
    const auto found = scheduler_.values.find(name);
    return found == scheduler_.values.end() ? nullptr : &found->second;
  }
  size_t CallIndex(const std::wstring& name) const {
    return std::find(scheduler_.calls.begin(), scheduler_.calls.end(), name) - scheduler_.calls.begin();
  }

  fake_scheduler::Scheduler scheduler_;
  common::ScopedTaskSchedulerAccess access_{scheduler_.Access()};
};

TEST_F(FakeSchedulerTest, RunAsStdUserRegistersTheDesignedTaskAndReleasesEverything) {
  LogWatch log;
  ASSERT_TRUE(common::RunAsStdUser(L"C:\\apps\\viewer.exe", L"--quote sh600000"));

  // Every value set, and nothing else: no user id, no working folder.
  const std::map<std::wstring, std::wstring> expected = {
      {L"Service.Connect", L"(empty) (empty) (empty) (empty)"},
      {L"Service.GetFolder", L"\\"},
      {L"Folder.DeleteTask", TASK_NAME L" 0"},
      {L"Service.NewTask", L"0"},
      {L"RegistrationInfo.Author", TASK_NAME},
      {L"Principal.Id", TASK_NAME L"_Principal"},
      {L"Principal.LogonType", L"3"},
      {L"Principal.RunLevel", L"0"},
      {L"Settings.StartWhenAvailable", L"1"},
      {L"Settings.StopIfGoingOnBatteries", L"0"},
      {L"Settings.DisallowStartIfOnBatteries", L"0"},
      {L"Triggers.Create", L"7"},
      {L"Trigger.Id", TASK_NAME L"_Trigger"},
      {L"Trigger.Delay", L"PT0S"},
      {L"Actions.Create", L"0"},
      {L"ExecAction.Path", L"C:\\apps\\viewer.exe"},
      {L"ExecAction.Arguments", L"--quote sh600000"},
      {L"Registration.Path", TASK_NAME},
      {L"Registration.Definition", L"the new task"},
      {L"Registration.Flags", L"6"},
      {L"Registration.User", L"(empty)"},
      {L"Registration.Password", L"(empty)"},
      {L"Registration.LogonType", L"3"},
      {L"Registration.SecurityDescriptor", L"\"\""},
  };
  EXPECT_EQ(scheduler_.values, expected);
  EXPECT_LT(CallIndex(L"Folder.DeleteTask"), CallIndex(L"Service.NewTask"));
  EXPECT_EQ(scheduler_.calls.front(), L"CoInitializeSecurity");
  EXPECT_EQ(scheduler_.calls.back(), L"Folder.RegisterTaskDefinition");
  EXPECT_EQ(scheduler_.Unbalanced(), std::vector<std::wstring>());
  EXPECT_NE(log.Added().find("Success! Task successfully registered. : 0"), std::string::npos) << log.Added();
}

TEST_F(FakeSchedulerTest, NullParametersGiveTheActionNoArguments) {
  ASSERT_TRUE(common::RunAsStdUser(L"C:\\apps\\viewer.exe", nullptr));
  ASSERT_NE(Value(L"ExecAction.Arguments"), nullptr);
  EXPECT_EQ(*Value(L"ExecAction.Arguments"), L"(null)");
}

SYSTEMTIME ParseBoundary(const std::wstring& text) {
  SYSTEMTIME time = {};
  wchar_t rest = 0;
  EXPECT_EQ(std::swscanf(text.c_str(), L"%hu-%hu-%huT%hu:%hu:%hu%lc", &time.wYear, &time.wMonth, &time.wDay,
                         &time.wHour, &time.wMinute, &time.wSecond, &rest),
            6)
      << text;
  return time;
}

ULONGLONG Ticks(const SYSTEMTIME& time) {
  FILETIME file_time = {};
  ::SystemTimeToFileTime(&time, &file_time);
  return (static_cast<ULONGLONG>(file_time.dwHighDateTime) << 32) | file_time.dwLowDateTime;
}

TEST_F(FakeSchedulerTest, DailyTaskRepeatsWithinTheDayAndRunsForAYearFromNow) {
  const struct {
    int minutes;
    const wchar_t* interval;  // null: no repetition
  } cases[] = {{90, L"PT1H30M"}, {120, L"PT2H"}, {45, L"PT45M"}, {1440, L"PT24H"}, {2, L"PT2M"},
               {1, nullptr},     {1441, nullptr}, {0, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.minutes);
    fake_scheduler::Scheduler scheduler;
    const common::ScopedTaskSchedulerAccess access(scheduler.Access());
    SYSTEMTIME before, after;
    ::GetLocalTime(&before);
    ASSERT_TRUE(Register(c.minutes, TASK_TRIGGER_DAILY));
    ::GetLocalTime(&after);
    before.wMilliseconds = 0;

    const auto& values = scheduler.values;
    EXPECT_EQ(values.at(L"Triggers.Create"), L"2");
    EXPECT_EQ(values.at(L"Trigger.Id"), TASK_NAME L"_Trigger");
    EXPECT_EQ(values.count(L"Trigger.Delay"), 0u);
    if (c.interval) {
      EXPECT_EQ(values.count(L"Repetition.Interval") ? values.at(L"Repetition.Interval") : L"(none)", c.interval);
    } else {
      EXPECT_EQ(values.count(L"Repetition.Interval"), 0u);
      EXPECT_EQ(std::count(scheduler.calls.begin(), scheduler.calls.end(), L"Trigger.get_Repetition"), 0);
    }
    EXPECT_EQ(values.at(L"Trigger.DaysInterval"), L"1");

    const std::wstring& start = values.at(L"Trigger.StartBoundary");
    const SYSTEMTIME start_time = ParseBoundary(start);
    EXPECT_LE(Ticks(before), Ticks(start_time)) << start;
    EXPECT_LE(Ticks(start_time), Ticks(after)) << start;
    wchar_t expected_start[40], expected_end[40];
    std::swprintf(expected_start, 40, L"%d-%02d-%02dT%d:%02d:%02d", start_time.wYear, start_time.wMonth,
                  start_time.wDay, start_time.wHour, start_time.wMinute, start_time.wSecond);
    std::swprintf(expected_end, 40, L"%d-%02d-%02dT%d:%02d:%02d", start_time.wYear + 1, start_time.wMonth,
                  start_time.wDay, start_time.wHour, start_time.wMinute, start_time.wSecond);
    EXPECT_EQ(start, expected_start);
    EXPECT_EQ(values.at(L"Trigger.EndBoundary"), expected_end);
    EXPECT_EQ(scheduler.Unbalanced(), std::vector<std::wstring>());
  }
}

// Each step failing in turn: the steps that fail the registration log their
// line with the code in hexadecimal and release everything; the others are
// passed over.
TEST(FakeSchedulerFailures, EachFailingStepIsLoggedAndReleasesEverything) {
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
    fake_scheduler::Scheduler scheduler;
    scheduler.failures[c.call] = c.code;
    const common::ScopedTaskSchedulerAccess access(scheduler.Access());
    LogWatch log;
    ::SetLastError(ERROR_SUCCESS);
    const bool registered = common::RegisterLaunchTask(kTaskName, L"C:\\apps\\viewer.exe", L"-x", 90, c.trigger_type);
    const DWORD last_error = ::GetLastError();

    EXPECT_EQ(registered, c.registered);
    const std::string added = log.Added();
    if (c.line) {
      EXPECT_NE(added.find(std::string(c.line) + "\n"), std::string::npos) << added;
    }
    // Nothing else: the failing line, the success line, or both.
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), (c.line ? 1 : 0) + (c.registered ? 1 : 0)) << added;
    EXPECT_EQ(added.find("Success! Task successfully registered. : 0") != std::string::npos, c.registered) << added;
    if (!c.registered) {
      EXPECT_EQ(scheduler.values.count(L"Registration.Path"), 0u);
      EXPECT_NE(last_error, static_cast<DWORD>(ERROR_SUCCESS));
    }
    EXPECT_EQ(scheduler.Unbalanced(), std::vector<std::wstring>());
  }
}

// Wine's own scheduler (a Windows 7 prefix) stores a registered task as the
// file system32\tasks\<name>, UTF-8 XML behind a byte-order mark.
std::wstring StoredTaskFile(const std::wstring& name) {
  wchar_t system[MAX_PATH];
  ::GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system) + L"\\tasks\\" + name;
}

TEST(RealScheduler, DailyTaskIsStoredAndASecondRegistrationReplacesIt) {
  const win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(com.usable());
  const std::wstring name = TQ_TASK_NAME_PREFIX L"daily test " + std::to_wstring(::GetCurrentProcessId());
  const std::wstring file = StoredTaskFile(name);
  const std::string author = "<Author>" + common::ws2s(name) + "</Author>";

  // Wine refuses a repetition pattern, so the daily form without one.
  ASSERT_TRUE(common::RegisterLaunchTask(name.c_str(), L"C:\\windows\\notepad.exe", L"a b", 1, TASK_TRIGGER_DAILY));
  const std::string stored = testing_support::ReadBytes(file);
  EXPECT_EQ(stored.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(stored.find(author), std::string::npos) << stored;

  // A mark of ours in the stored file goes when the task is registered again.
  ASSERT_TRUE(testing_support::WriteBytes(file, stored + "<!-- first registration -->"));
  ASSERT_TRUE(common::RegisterLaunchTask(name.c_str(), L"C:\\windows\\notepad.exe", L"a b", 1, TASK_TRIGGER_DAILY));
  const std::string replaced = testing_support::ReadBytes(file);
  EXPECT_NE(replaced.find(author), std::string::npos) << replaced;
  EXPECT_EQ(replaced.find("first registration"), std::string::npos) << replaced;
  EXPECT_TRUE(::DeleteFileW(file.c_str()));
}

TEST(RealScheduler, RunAsStdUserMeetsWinesRefusalOfTheRegistrationTrigger) {
  const win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(com.usable());
  ASSERT_TRUE(common::IsVistaOrLater());
  LogWatch log;
  EXPECT_FALSE(common::RunAsStdUser(L"C:\\windows\\notepad.exe", nullptr));
  EXPECT_NE(log.Added().find("Cannot create a registration trigger: 80004001\n"), std::string::npos) << log.Added();
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
  EXPECT_NE(added.find("Failed to create an instance of ITaskService: 800401f0\n"), std::string::npos) << added;
}

// The value of "--name=value" on this process's command line ("" when absent).
std::wstring CommandLineValue(const std::wstring& name) {
  const std::wstring command_line = ::GetCommandLineW();
  const size_t at = command_line.find(L"--" + name + L"=");
  if (at == std::wstring::npos) return L"";
  const size_t start = at + name.size() + 3;
  return command_line.substr(start, command_line.find(L' ', start) - start);
}

// Started by the Windows XP test below through RunAsStdUser: records how the
// shell started this process, then stays until that test lets it go.
TEST(StartedThroughTheShell, RecordsHowItWasStarted) {
  const std::wstring record = CommandLineValue(L"record");
  if (record.empty()) GTEST_SKIP() << "run by WindowsXp.RunAsStdUserStartsTheProgramThroughTheShell";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  ::GetStartupInfoW(&startup);
  const std::string text = "pid " + std::to_string(::GetCurrentProcessId()) + "\nflags " +
                           std::to_string(startup.dwFlags) + "\nshow " + std::to_string(startup.wShowWindow) +
                           "\ncommand line " + common::ws2s(::GetCommandLineW()) + "\nend\n";
  ASSERT_TRUE(testing_support::WriteBytes(record + L".tmp", text));
  ASSERT_TRUE(::MoveFileW((record + L".tmp").c_str(), record.c_str()));
  const win::ScopedHandle release(::OpenEventW(SYNCHRONIZE, FALSE, CommandLineValue(L"release").c_str()));
  ASSERT_TRUE(release.valid());
  ::WaitForSingleObject(release.get(), 60000);
}

TEST(WindowsXp, RunAsStdUserStartsTheProgramThroughTheShell) {
  ASSERT_FALSE(common::IsVistaOrLater());
  const testing_support::ScopedTempDir folder;
  const std::wstring record = folder.Child(L"started.txt");
  const std::wstring release_name = L"tq-std-user-xp-" + std::to_wstring(::GetCurrentProcessId());
  const win::ScopedHandle release(::CreateEventW(nullptr, TRUE, FALSE, release_name.c_str()));
  ASSERT_TRUE(release.valid());
  ASSERT_EQ(record.find(L' '), std::wstring::npos) << "the child reads the path up to a blank";
  const std::wstring parameters =
      L"--gtest_filter=StartedThroughTheShell.* --record=" + record + L" --release=" + release_name;
  LogWatch log;

  ASSERT_TRUE(common::RunAsStdUser(testing_support::SelfPath().c_str(), parameters.c_str()));

  std::string started;
  for (int i = 0; i < 300 && started.empty(); ++i) {
    started = testing_support::ReadBytes(record);
    if (started.empty()) ::Sleep(100);
  }
  ASSERT_NE(started.find("\nend\n"), std::string::npos) << "the program was not started";
  // Not waited for: the program still runs after the call returned.
  const DWORD child_id = static_cast<DWORD>(std::stoul(started.substr(4)));
  const win::ScopedHandle child(::OpenProcess(SYNCHRONIZE, FALSE, child_id));
  ASSERT_TRUE(child.valid());
  EXPECT_EQ(::WaitForSingleObject(child.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ::SetEvent(release.get());
  EXPECT_EQ(::WaitForSingleObject(child.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));

  // Shown normally, with the parameters as given.
  EXPECT_NE(started.find("\nflags " + std::to_string(STARTF_USESHOWWINDOW) + "\n"), std::string::npos) << started;
  EXPECT_NE(started.find("\nshow 1\n"), std::string::npos) << started;
  EXPECT_NE(started.find(common::ws2s(parameters) + "\nend\n"), std::string::npos) << started;
  // No task: nothing went to the scheduler, which logs every outcome.
  EXPECT_EQ(log.Added(), "");
  EXPECT_EQ(::GetFileAttributesW(StoredTaskFile(kTaskName).c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
