// The process family, mostly against copies of tq_proc_helper.exe (see its source for its steps and record):
// launching, finding and ending processes, self management, and the standard-user launch through a recording fake
// scheduler, Wine's own (Windows 7 prefix) and the shell (Windows XP prefix). Each group runs in a prefix of its own.
#include <windows.h>
#include <aclapi.h>
#include <taskschd.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/product_names.h"
#include "process/std_user_launch_internal.h"
#include "process/launch_internal.h"
#include "process/process_search_internal.h"
#include "support/test_support.h"
#include "t_common/launch.h"
#include "t_common/os_version.h"
#include "t_common/processes.h"
#include "t_common/self_management.h"
#include "t_common/std_user_launch.h"
#include "t_common/text.h"
#include "win/com.h"
#include "win/registry_key.h"
#include "win/scoped_handle.h"
#include "win/windows_bitness.h"

namespace {

using common::ws2s;
using testing_support::LogWatch, testing_support::ReadBytes, testing_support::WaitFor, testing_support::WriteBytes;

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// Copies the helper built beside the test program to folder\name. The library's DLLs stay in the build folder,
// which goes on PATH (and so on the children's) once.
std::wstring CopyHelper(const std::wstring& folder, const std::wstring& name) {
  static const std::wstring bin = FolderOf(testing_support::SelfPath());
  [[maybe_unused]] static const BOOL set = ::SetEnvironmentVariableW(L"PATH", (bin + L";" + _wgetenv(L"PATH")).c_str());
  ::CopyFileW((bin + L"\\tq_proc_helper.exe").c_str(), (folder + L"\\" + name).c_str(), FALSE);
  return folder + L"\\" + name;
}

// The value of "name: value" in a record file, once there within the timeout ("" if not).
std::string RecordValue(const std::wstring& record, const std::string& name, DWORD timeout_ms = 0) {
  std::string value;
  WaitFor([&] {
    const std::string lines = "\n" + ReadBytes(record);
    const size_t at = lines.find("\n" + name + ": "), start = at + name.size() + 3;
    return !(value = at == lines.npos ? "" : lines.substr(start, lines.find('\n', start) - start)).empty();
  }, timeout_ms);
  return value;
}

// A process started by CreateProcessW in program's folder (with a token, as that user), ended when the object goes
// if still running; Exit() gives its exit code once it ended within the timeout, else STILL_ACTIVE.
struct Helper {
  Helper(const std::wstring& program, std::wstring arguments, HANDLE token = nullptr) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    arguments = L"\"" + program + L"\" " + arguments;
    ::CreateProcessAsUserW(token, program.c_str(), &arguments[0], nullptr, nullptr, FALSE, 0, nullptr,
                           FolderOf(program).c_str(), &startup, info.receive());
  }
  ~Helper() { Exit(0) == STILL_ACTIVE && ::TerminateProcess(info.process(), 1) && Exit(5000); }
  DWORD Exit(DWORD timeout_ms) const {
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(info.process(), timeout_ms) == WAIT_OBJECT_0) ::GetExitCodeProcess(info.process(), &code);
    return code;
  }
  win::ScopedProcessInformation info;
};

// A name no other test uses.
std::wstring Unique(const std::wstring& prefix) {
  static int counter = 0;
  return prefix + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

// A copy of the helper under a unique name in a fresh folder; run n records to Record(n).
struct HelperCopy {
  explicit HelperCopy(const wchar_t* prefix) : name(Unique(prefix) + L".exe"), program(CopyHelper(dir.path(), name)) {}
  std::wstring Record(int run = 0) const { return dir.Child(L"rec" + std::to_wstring(run) + L".txt"); }
  std::wstring Arguments(const std::wstring& steps = L"", int run = 0) const {
    return L"--record \"" + Record(run) + L"\" " + steps;
  }
  // A run's recorded value, waited for.
  std::string Value(const std::string& value, int run = 0) const { return RecordValue(Record(run), value, 30000); }
  // Starts a run and waits until it has recorded its start.
  std::unique_ptr<Helper> Start(const std::wstring& steps, int run = 0) const {
    auto helper = std::make_unique<Helper>(program, Arguments(steps, run));
    EXPECT_NE(Value("show", run), "") << "run " << run << " did not start";
    return helper;
  }
  testing_support::ScopedTempDir dir;
  std::wstring name, program;
};

// ---- Launching

using W = const wchar_t*;
const std::pair<const char*, std::function<bool(W path, W parameters, bool wait)>> kLaunchers[] = {
    {"ExecuteExe", [](W p, W a, bool w) { return common::ExecuteExe(p, a, w, true); }},
    {"ExecuteExeAsAdmin", [](W p, W a, bool w) { return common::ExecuteExeAsAdmin(p, a, w); }},
    {"LauncherApp", [](W p, W a, bool w) { return common::LauncherApp(p, a, w, SW_SHOWNORMAL); }},
};

// The program runs in its own folder, or for a bare name in the caller's; with wait it has ended when the call
// returns, without it still runs.
TEST(Launch, RunsInTheProgramsFolderAndWaitsOnlyWhenAsked) {
  for (const auto& [launcher, launch] : kLaunchers) {
    SCOPED_TRACE(launcher);
    const HelperCopy copy(L"tq_wait");
    const std::string folder = ws2s(copy.dir.path());
    ASSERT_TRUE(launch(copy.program.c_str(), copy.Arguments(L"sleep 300").c_str(), true));
    EXPECT_EQ(RecordValue(copy.Record(), "folder") + (common::CheckExeIsRunning(copy.name.c_str()) ? "?" : ""), folder);
    ASSERT_TRUE(launch(copy.program.c_str(), copy.Arguments(L"sleep -1", 1).c_str(), false));
    EXPECT_TRUE(copy.Value("show", 1) != "" && common::CheckExeIsRunning(copy.name.c_str()));
    common::TerminateApp(copy.name.c_str());
    // CreateProcessW takes a bare name against the current folder, the shell searches PATH too.
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(copy.dir.path().c_str()));
    const wchar_t* bare = launcher == std::string("LauncherApp") ? copy.name.c_str() : L"tq_proc_helper.exe";
    EXPECT_TRUE(launch(bare, copy.Arguments(L"", 2).c_str(), true));
    ::SetCurrentDirectoryW(previous);
    EXPECT_EQ(RecordValue(copy.Record(2), "folder"), folder);
  }
}

// The startup flags, and the show state when the flags say there is one. LauncherApp's command line is the quoted
// path, a blank and the parameters, cut to 2,047 characters; with null parameters an empty command line, so the
// helper records beside itself (Wine then gives the program its quoted path, without the blank).
TEST(Launch, TheProgramIsShownAsAskedWithTheParametersGiven) {
  const HelperCopy copy(L"tq_show");
  const wchar_t* program = copy.program.c_str();
  const std::wstring arguments = copy.Arguments(), parameters = copy.Arguments(L"exit 0 " + std::wstring(3000, L'q'));
  const auto shown = [&](bool launched) {
    const std::string flags = RecordValue(copy.Record(), "flags"), show = RecordValue(copy.Record(), "show");
    ::DeleteFileW(copy.Record().c_str());
    return !launched ? "failed" : flags == "1" ? "show " + show : "flags " + flags;
  };
  EXPECT_EQ(shown(common::ExecuteExe(program, arguments.c_str(), true, true)), "show 1");
  EXPECT_EQ(shown(common::ExecuteExe(program, arguments.c_str(), true, false)), "show 0");
  EXPECT_EQ(shown(common::LauncherApp(program, arguments.c_str(), true, SW_HIDE)), "show 0");
  EXPECT_EQ(shown(common::LauncherApp(program, arguments.c_str(), true, SW_SHOWDEFAULT)), "flags 0");
  ASSERT_TRUE(common::LauncherApp(program, parameters.c_str(), true, SW_SHOWNORMAL));
  const std::string command_line = ws2s(L"\"" + copy.program + L"\" " + parameters).substr(0, 2047);
  EXPECT_EQ(RecordValue(copy.Record(), "command line"), command_line);
  ASSERT_TRUE(common::LauncherApp(program, nullptr, true, SW_SHOWNORMAL));
  EXPECT_EQ(RecordValue(copy.program + L".rec", "folder") + "|" + RecordValue(copy.program + L".rec", "command line"),
            ws2s(copy.dir.path() + L"|\"" + copy.program + L"\""));
  using common::launch_internal::LauncherCommandLine;  // Wine gives an empty command line the quoted path
  EXPECT_EQ(LauncherCommandLine(L"C:\\a b\\p.exe", nullptr) + L"|" + LauncherCommandLine(L"C:\\a b\\p.exe", L""),
            L"|\"C:\\a b\\p.exe\" ");
}

// Every Wine process is an administrator, and "runas" starts a program as "open" does: a file type of the test's
// own, whose two verbs record to different files, shows the verb the shell was given.
TEST(Launch, ExecuteExeAsAdminAsksForElevationOnlyWhenNotAnAdministrator) {
  const HelperCopy copy(L"tq_verb");
  const std::wstring type = Unique(L"tqverbtest"), document = copy.dir.Child(L"a." + type);
  ASSERT_TRUE(WriteBytes(document, ""));
  for (const std::wstring& key : {L"." + type, type + L"\\shell\\open\\command", type + L"\\shell\\runas\\command"}) {
    const bool runas = key.find(L"runas") != key.npos;
    win::RegistryKey verb;
    ASSERT_EQ(verb.Create(HKEY_CLASSES_ROOT, key.c_str(), KEY_SET_VALUE) | verb.WriteString(nullptr,
              key[0] == L'.' ? type : L"\"" + copy.program + L"\" " + copy.Arguments(L"", runas)), ERROR_SUCCESS);
  }
  for (const bool admin : {true, false}) {
    using common::launch_internal::SetAdminCheckForTesting;
    const auto previous = SetAdminCheckForTesting(admin ? +[] { return true; } : +[] { return false; });
    EXPECT_TRUE(common::ExecuteExeAsAdmin(document.c_str(), nullptr, true));
    SetAdminCheckForTesting(previous);
    EXPECT_EQ(common::launch_internal::AdminVerb(false, admin), nullptr);  // before Vista, never "runas"
    // The show states "open" and "runas" recorded.
    EXPECT_EQ(RecordValue(copy.Record(0), "show") + "," + RecordValue(copy.Record(1), "show"), admin ? "1," : ",1");
    for (int run : {0, 1}) ::DeleteFileW(copy.Record(run).c_str());
  }
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, type.c_str());
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"." + type).c_str());
}

// In a child under a display: the shell's own code overran its stack on long paths, and a missing program opened a
// message box that waited for a click. Every launcher, waiting or not, gives the row's error.
TEST(Launch, BadPathsFailAtOnceWithTheirError) {
  if (testing_support::RanInChild(60000)) return;
  const auto of_length = [](size_t length) { return L"C:\\windows\\" + std::wstring(length - 15, L'x') + L".exe"; };
  const std::wstring longest = of_length(MAX_PATH - 1), too_long = of_length(MAX_PATH), far_too_long = of_length(40000);
  for (const auto& [path, error] : {std::pair<const wchar_t*, DWORD>{nullptr, ERROR_INVALID_PARAMETER},
           {L"", ERROR_INVALID_PARAMETER}, {longest.c_str(), ERROR_FILE_NOT_FOUND},
           {too_long.c_str(), ERROR_FILENAME_EXCED_RANGE}, {far_too_long.c_str(), ERROR_FILENAME_EXCED_RANGE}}) {
    for (const auto& [launcher, launch] : kLaunchers) {
      for (const bool wait : {true, false}) {
        ::SetLastError(0);
        const std::string launched = launch(path, nullptr, wait) ? "launched " : "";
        const std::string got = launched + std::to_string(::GetLastError());
        EXPECT_EQ(got, std::to_string(error)) << launcher << ", length " << (path ? std::wcslen(path) : 0);
      }
    }
  }
}

// ---- Finding and ending processes

// Counts the pauses of the termination loop while it lives.
int g_pauses = 0;
struct CountedPauses {
  CountedPauses() {
    common::process_search_internal::SetPauseForTesting(+[](DWORD milliseconds) {
      EXPECT_EQ(milliseconds, 100u);
      ++g_pauses, ::Sleep(milliseconds);
    });
    g_pauses = 0;
  }
  ~CountedPauses() { common::process_search_internal::SetPauseForTesting(nullptr); }
};

// The oldest run of a name is found by that name in any case or a path elsewhere; the running check wants the exact
// name. Every run ended by name exits with 0.
TEST(Processes, FoundByNameAndEndedAtMostThirtyACall) {
  const HelperCopy copy(L"tq_find");
  const std::wstring go = copy.name + L"_go";
  const win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, go.c_str()));
  std::vector<std::unique_ptr<Helper>> runs;
  for (int i = 0; i < 35; ++i) runs.push_back(copy.Start(i == 2 ? L"wait " + go + L" killsiblings" : L"sleep -1", i));
  std::wstring upper = copy.name;
  for (auto& c : upper) c = static_cast<wchar_t>(::towupper(c));
  for (const std::wstring& name : {copy.name, upper, L"C:\\some\\other\\folder\\" + copy.name, copy.program}) {
    EXPECT_EQ(common::GetProcessID(name.c_str()), runs[0]->info.process_id()) << ws2s(name);
    EXPECT_EQ(common::CheckExeIsRunning(name.c_str()), name == copy.name) << ws2s(name);
  }
  // TerminateAppIgnoreSelf from the third run ends the two older runs only.
  ::SetEvent(event.get());
  EXPECT_EQ(runs[2]->Exit(10000), 0u);
  EXPECT_EQ(RecordValue(copy.Record(2), "killsiblings"), "done");
  EXPECT_EQ(runs[0]->Exit(5000) + runs[1]->Exit(5000), 0u);
  EXPECT_TRUE(runs[3]->Exit(0) == STILL_ACTIVE && runs[34]->Exit(0) == STILL_ACTIVE);
  // 32 left: a call ends one a pass for thirty passes, the next call the rest.
  const CountedPauses pauses;
  EXPECT_TRUE(common::TerminateApp(copy.name.c_str()));
  EXPECT_EQ(g_pauses, 30);
  EXPECT_NE(common::GetProcessID(copy.name.c_str()), 0u);
  EXPECT_TRUE(common::TerminateApp(copy.name.c_str()));
  for (const auto& run : runs) EXPECT_EQ(run->Exit(5000), 0u);
}

// A name that matches nothing ends nothing and waits for nothing.
TEST(Processes, BadNamesGiveTheFailureResult) {
  const std::vector<testing_support::ProcessEntry> before = testing_support::ProcessList();
  const std::wstring long_name(300, L'n');
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", long_name.c_str(), L"tq_no_such.exe"}) {
    const CountedPauses pauses;
    EXPECT_EQ(common::GetProcessID(name), 0u);
    EXPECT_FALSE(common::CheckExeIsRunning(name) || common::ShowApp(name));
    EXPECT_TRUE(common::TerminateApp(name) && common::TerminateAppIgnoreSelf(name));
    EXPECT_EQ(g_pauses, 0);
  }
  {
    const CountedPauses pauses;  // the only match is the caller itself: spared, and no pause for it
    EXPECT_TRUE(common::TerminateAppIgnoreSelf(testing_support::SelfPath().c_str()) && g_pauses == 0);
  }
  for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L"a\\b"})
    EXPECT_FALSE(common::IsAppExist(name) || common::CreateAppMutex(name));
  for (const auto& process : before) {
    const win::ScopedHandle still(::OpenProcess(SYNCHRONIZE, FALSE, process.id));
    EXPECT_EQ(::WaitForSingleObject(still.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << ws2s(process.name);
  }
}

// Against a helper's real top-level window, under xvfb-run. ShowApp shows a minimised or a normal window normally,
// at its size; SetWindowTop shows a hidden one without leaving it topmost, and a bad handle changes nothing.
TEST(ProcessWindows, ShowAppAndSetWindowTopShowTheWindowNormally) {
  const HelperCopy copy(L"tq_window");
  const auto run = copy.Start(L"window tq_window_test");
  const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull("0" + copy.Value("window"))));
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
  for (HWND bad : {static_cast<HWND>(nullptr), reinterpret_cast<HWND>(0x1234)})
    common::SetWindowTop(bad), common::modifyTaskbar(bad, true), common::modifyTaskbar(bad, false);
  EXPECT_TRUE(::IsWindowVisible(window));
}

// ---- Self management

// The helper run with watchdog steps: its exit code (STILL_ACTIVE after 15 s), how many watchdogs sent their begin
// and end texts, how many were cancelled, and whether the one that ended is the first one started.
std::string WatchdogRun(const std::wstring& steps) {
  const HelperCopy copy(L"tq_watchdog");
  const DWORD code = Helper(copy.program, copy.Arguments(steps)).Exit(15000);
  // With no delay the process may end before the helper records the thread.
  const std::string record = ReadBytes(copy.Record()), first = RecordValue(copy.Record(), "watchdog");
  const auto count = [&](const std::string& text) {
    const std::regex pattern("debug: " + text + "\n");
    return std::to_string(std::distance(std::sregex_iterator(record.begin(), record.end(), pattern), {}));
  };
  return "exit " + std::to_string(code) + ", begun " + count("_ExitMoniterThread begin<\\d+><\\d+>") + ", cancelled " +
         count("Cancel Moniter") + ", ended " + count("_ExitMoniterThread end<\\d+><\\d+>") + ", the first " +
         count("_ExitMoniterThread end<" + (first.empty() ? "\\d+" : first) + "><\\d+>");
}

// Cancelled while it waits out its delay, as callers do, the process lives on; cancelling one leaves another running.
TEST(Watchdog, EndsTheProcessWithMinusOneUnlessCancelled) {
  EXPECT_EQ(WatchdogRun(L"watchdog 0 sleep 20000"), "exit 4294967295, begun 1, cancelled 0, ended 1, the first 1");
  EXPECT_EQ(WatchdogRun(L"watchdog -1 sleep 1500"), "exit 0, begun 1, cancelled 0, ended 0, the first 0");  // for ever
  EXPECT_EQ(WatchdogRun(L"watchdog 1000 sleep 300 cancel sleep 1500"),
            "exit 0, begun 1, cancelled 1, ended 0, the first 0");
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

// A watchdog ended from outside while it was still starting could leave the loader or heap lock held, and the next
// thread start or exit then hung.
TEST(Watchdog, StartedAndCancelledAtOnceEndsItselfWithoutHangingTheProcess) {
  if (testing_support::RanInChild(90000)) return;
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

// Only what ForceTerminateSelf returned is a watchdog: any other value, even one that was a watchdog's before it was
// cancelled, is neither ended nor closed.
TEST(Watchdog, CancelLeavesEveryOtherHandleAlone) {
  if (testing_support::RanInChild(60000)) return;
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

// The recorded priority shows whether DelSelf handed the command over (real time) or did nothing (normal). A caller
// that lives on a while after the call is still removed once it has ended.
TEST(DelSelf, RemovesTheProgramOrItsFolderOnceItEnded) {
  const testing_support::ScopedTempDir dir;
  // Unquoted, cmd would take "...\a&b\prog.exe" for "del ...\A" (this file) and "B\prog.exe > nul".
  const std::wstring bystander = dir.Child(L"a"), record = dir.Child(L"rec.txt");
  ASSERT_TRUE(WriteBytes(bystander, "keep"));
  wchar_t comspec[MAX_PATH] = {};
  ASSERT_NE(::GetEnvironmentVariableW(L"COMSPEC", comspec, MAX_PATH), 0u);
  // The folder is under dir, or a drive root; then is what the program does after the call.
  const auto check = [&](const std::wstring& name, W step, W then, bool comspec_set, bool removed) {
    SCOPED_TRACE(ws2s(name));
    const bool root = name[1] == L':', whole_folder = step == std::wstring(L"delfolder");
    const std::wstring folder = root ? name : dir.Child(name);
    ASSERT_TRUE(root || (::CreateDirectoryW(folder.c_str(), nullptr) && WriteBytes(folder + L"\\data.txt", "x")));
    const std::wstring program = CopyHelper(folder, L"prog.exe");
    wchar_t short_path[MAX_PATH] = {};
    ASSERT_NE(::GetShortPathNameW(program.c_str(), short_path, MAX_PATH), 0u);
    ASSERT_TRUE(name.find(L' ') == name.npos || short_path != program) << "no short path for " << ws2s(program);
    ::SetEnvironmentVariableW(L"COMSPEC", comspec_set ? comspec : nullptr);
    const Helper helper(program, L"--record \"" + record + L"\" " + step + L" " + then);
    ::SetEnvironmentVariableW(L"COMSPEC", comspec);
    EXPECT_EQ(helper.Exit(15000), 0u);
    const DWORD priority = removed ? REALTIME_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS;
    EXPECT_EQ(RecordValue(record, "priority") + " " + RecordValue(record, "thread priority"),
              std::to_string(priority) + (removed ? " 15" : " 0"));
    EXPECT_EQ(RecordValue(record, "folder"), ws2s(root ? folder + L"\\" : folder));
    const std::wstring gone = whole_folder ? folder : program;
    const auto absent = [&] { return ::GetFileAttributesW(gone.c_str()) == INVALID_FILE_ATTRIBUTES; };
    EXPECT_EQ(WaitFor(absent, removed ? 10000 : 1500), removed);
    EXPECT_EQ(::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES, !(whole_folder && removed));
    EXPECT_EQ(ReadBytes(bystander), "keep");
    ::DeleteFileW(program.c_str());
  };
  check(L"a folder with a long name", L"delself", L"", true, true);  // removed through its short path
  check(L"a&b", L"delself", L"", true, true);
  check(L"installed program", L"delfolder", L"", true, true);  // the program's current folder
  check(L"lives on", L"delself", L"sleep 1500", true, true);
  check(L"lives on too", L"delfolder", L"sleep 1500", true, true);
  check(L"Q:", L"delfolder", L"", true, false);  // the test's prefix maps Q: to an empty folder
  check(L"no comspec", L"delself", L"", false, false);
}

// One holder at a time, in this process or another; names in the system's namespaces work as plain ones. A null
// DACL lets any user and integrity level open the mutex, and IsAppExist leaves none behind.
TEST(AppMutex, HasOneHolderAndIsAppExistLeavesNone) {
  const HelperCopy copy(L"tq_mutex");
  const auto taken_by_helper = [&](const std::wstring& name) {
    const std::string code = std::to_string(Helper(copy.program, copy.Arguments(L"mutex " + name)).Exit(15000));
    return code + " " + RecordValue(copy.Record(), "mutex");
  };
  const std::wstring base = Unique(L"tq_mutex_probe");
  for (const std::wstring& name : {base, L"Global\\" + base, L"Local\\" + base}) {
    SCOPED_TRACE(ws2s(name));
    EXPECT_FALSE(common::IsAppExist(name.c_str()) || ::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
    {
      const win::ScopedHandle held(common::CreateAppMutex(name.c_str()));
      PACL dacl = reinterpret_cast<PACL>(1);
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      EXPECT_EQ(::GetSecurityInfo(held.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &descriptor), static_cast<DWORD>(ERROR_SUCCESS));
      const win::ScopedLocalMemory owned(descriptor);
      EXPECT_EQ(dacl, nullptr);
      EXPECT_TRUE(common::IsAppExist(name.c_str()) && !common::CreateAppMutex(name.c_str()));
      EXPECT_EQ(taken_by_helper(name), "0 null");
    }
    EXPECT_FALSE(common::IsAppExist(name.c_str()));
    EXPECT_EQ(taken_by_helper(name), "0 handle");
  }
}

// Without the shutdown privilege: 0, and no other process of the prefix ends (ExitWindowsEx would end them within
// about a second).
TEST(Reboot, WithoutTheShutdownPrivilegeReturnsZeroAndRestartsNothing) {
  win::ScopedHandle own, restricted;
  LUID_AND_ATTRIBUTES removed = {};
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_QUERY,
                                 own.receive()) && ::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &removed.Luid));
  ASSERT_TRUE(::CreateRestrictedToken(own.get(), 0, 0, nullptr, 1, &removed, 0, nullptr, restricted.receive()));
  const HelperCopy copy(L"tq_reboot");
  const auto bystander = copy.Start(L"sleep -1", 1);
  EXPECT_EQ(Helper(copy.program, copy.Arguments(L"reboot"), restricted.get()).Exit(15000), 0u);
  EXPECT_EQ(RecordValue(copy.Record(), "reboot"), "0");
  ::Sleep(1000);
  EXPECT_EQ(bystander->Exit(0), STILL_ACTIVE);
}

// ---- The standard-user launch

// A recording stand-in for the Task Scheduler 2.0 objects that the task
// registration uses. One object class plays every part; its kind ("Service",
// "Folder", "Definition", "Principal", "Trigger", ...) names what it stands
// for. A call that sets something, or that the registration should never make,
// keeps its arguments as text under "Kind.method" (a null string as "(null)");
// a call named in `failures` returns that code instead, and a failed getter
// hands out nothing. Objects live as long as the scheduler; `references`
// counts those handed out and not yet released.
std::wstring Text(BSTR text) { return text ? text : L"(null)"; }
std::wstring Text(long long number) { return std::to_wstring(number); }
std::wstring Text(const VARIANT& v) {
  return v.vt == VT_EMPTY ? L"(empty)" : v.vt == VT_BSTR ? L"\"" + Text(v.bstrVal) + L"\"" : L"(variant)";
}
template <typename First, typename... Rest>
std::wstring Texts(const First& first, const Rest&... rest) { return (Text(first) + ... + (L" " + Text(rest))); }

class Object;

struct Scheduler {
  HRESULT Call(const std::wstring& name, const std::wstring* arguments = nullptr) {
    const auto failure = failures.find(name);
    if (failure != failures.end()) return failure->second;
    if (arguments) values[name] = *arguments;
    return S_OK;
  }
  // The values kept by calls whose names start with prefix, "name=value" a line in name order.
  std::wstring Definition(const std::wstring& prefix = L"") const {
    std::wstring text;
    for (const auto& [name, value] : values)
      if (name.compare(0, prefix.size(), prefix) == 0) text += name + L"=" + value + L"\n";
    return text;
  }

  std::map<std::wstring, std::wstring> values;
  std::map<std::wstring, HRESULT> failures;
  long references = 0;
  ITaskDefinition* definition = nullptr;  // the last one NewTask handed out
  std::list<Object> objects;
};

// A method the registration never calls; a property whose setter keeps its
// value; a child object handed out by its getter.
#define METHOD HRESULT STDMETHODCALLTYPE
#define UNUSED(method, ...) METHOD method(__VA_ARGS__) override { return Set(L"" #method, L"(unused)"), E_NOTIMPL; }
#define PROP(name, Type) \
  UNUSED(get_##name, Type*) METHOD put_##name(Type value) override { return Set(L"put_" #name, Text(value)); }
#define CHILD(name, Type) UNUSED(put_##name, Type*) METHOD get_##name(Type** out) override { \
    return Give<Type>(scheduler->Call(kind + L".get_" #name), out, L"" #name); }
using B = BSTR;
using VB = VARIANT_BOOL;

class Object : public ITaskService, public ITaskFolder, public ITaskDefinition, public IRegistrationInfo,
               public IPrincipal, public ITaskSettings, public ITriggerCollection, public IRegistrationTrigger,
               public IDailyTrigger, public IRepetitionPattern, public IActionCollection, public IExecAction {
 public:
  Object(const wchar_t* kind, Scheduler* scheduler) : kind(kind), scheduler(scheduler) {}
  // Unless hr failed, a new object of that kind as Interface.
  template <typename Interface, typename Out>
  HRESULT Give(HRESULT hr, Out** out, const wchar_t* of) {
    *out = FAILED(hr) ? nullptr : static_cast<Interface*>(&scheduler->objects.emplace_back(of, scheduler));
    return *out ? (*out)->AddRef(), hr : hr;
  }
  // A query for a trigger's or an action's own interface is the call
  // "Kind.QueryInterface", so that a test can refuse it.
  METHOD QueryInterface(REFIID iid, void** out) override {
    *out = iid == __uuidof(IRegistrationTrigger) ? static_cast<void*>(static_cast<IRegistrationTrigger*>(this))
         : iid == __uuidof(IDailyTrigger) ? static_cast<void*>(static_cast<IDailyTrigger*>(this))
         : iid == __uuidof(IExecAction) ? static_cast<IExecAction*>(this) : nullptr;
    const HRESULT hr = *out ? scheduler->Call(kind + L".QueryInterface") : E_NOINTERFACE;
    FAILED(hr) ? void(*out = nullptr) : void(AddRef());
    return hr;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++scheduler->references; }
  ULONG STDMETHODCALLTYPE Release() override { return --scheduler->references; }
  UNUSED(GetTypeInfoCount, UINT*) UNUSED(GetTypeInfo, UINT, LCID, ITypeInfo**)
  UNUSED(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
  UNUSED(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
  // ITaskService, ITaskFolder
  UNUSED(GetRunningTasks, LONG, IRunningTaskCollection**) UNUSED(get_Connected, VB*) UNUSED(get_TargetServer, B*)
  UNUSED(get_ConnectedUser, B*) UNUSED(get_ConnectedDomain, B*) UNUSED(get_HighestVersion, DWORD*) UNUSED(get_Name, B*)
  UNUSED(DeleteFolder, B, LONG) UNUSED(GetTask, B, IRegisteredTask**) UNUSED(GetFolders, LONG, ITaskFolderCollection**)
  UNUSED(CreateFolder, B, VARIANT, ITaskFolder**) UNUSED(GetTasks, LONG, IRegisteredTaskCollection**)
  UNUSED(RegisterTask, B, B, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT, IRegisteredTask**)
  UNUSED(GetSecurityDescriptor, LONG, B*) UNUSED(SetSecurityDescriptor, B, LONG)
  METHOD Connect(VARIANT server, VARIANT user, VARIANT domain, VARIANT pw) override {
    return Set(L"Connect", Texts(server, user, domain, pw));
  }
  METHOD GetFolder(B p, ITaskFolder** out) override {
    return Give<ITaskFolder>(Set(L"GetFolder", Text(p)), out, L"Folder");
  }
  METHOD NewTask(DWORD flags, ITaskDefinition** out) override {
    const HRESULT hr = Give<ITaskDefinition>(Set(L"NewTask", Text(flags)), out, L"Definition");
    return scheduler->definition = *out, hr;
  }
  METHOD DeleteTask(B name, LONG flags) override { return Set(L"DeleteTask", Texts(name, flags)); }
  // Hands out no registered task.
  METHOD RegisterTaskDefinition(B path, ITaskDefinition* task, LONG flags, VARIANT user,
      VARIANT pw, TASK_LOGON_TYPE logon, VARIANT sddl, IRegisteredTask** registered) override {
    const B which = const_cast<B>(task && task == scheduler->definition ? L"(the new task)" : L"(another)");
    return *registered = nullptr, Set(L"RegisterTaskDefinition", Texts(path, which, flags, user, pw, logon, sddl));
  }
  // ITaskDefinition and its parts
  CHILD(RegistrationInfo, IRegistrationInfo) CHILD(Principal, IPrincipal) CHILD(Settings, ITaskSettings)
  CHILD(Triggers, ITriggerCollection) CHILD(Actions, IActionCollection) CHILD(Repetition, IRepetitionPattern)
  PROP(Data, B) PROP(XmlText, B) PROP(Description, B) PROP(Author, B) PROP(Version, B) PROP(Date, B) PROP(URI, B)
  PROP(Documentation, B) PROP(SecurityDescriptor, VARIANT) PROP(Source, B) PROP(Id, B) PROP(DisplayName, B)
  PROP(UserId, B) PROP(LogonType, TASK_LOGON_TYPE) PROP(GroupId, B) PROP(RunLevel, TASK_RUNLEVEL_TYPE) PROP(Hidden, VB)
  PROP(AllowDemandStart, VB) PROP(RestartInterval, B) PROP(RestartCount, INT) PROP(Priority, INT) PROP(Enabled, VB)
  PROP(MultipleInstances, TASK_INSTANCES_POLICY) PROP(StopIfGoingOnBatteries, VB) PROP(StartWhenAvailable, VB)
  PROP(DisallowStartIfOnBatteries, VB) PROP(AllowHardTerminate, VB) PROP(Compatibility, TASK_COMPATIBILITY)
  PROP(RunOnlyIfNetworkAvailable, VB) PROP(ExecutionTimeLimit, B) PROP(DeleteExpiredTaskAfter, B) PROP(WakeToRun, VB)
  UNUSED(get_IdleSettings, IIdleSettings**) UNUSED(put_IdleSettings, IIdleSettings*) PROP(RunOnlyIfIdle, VB)
  UNUSED(get_NetworkSettings, INetworkSettings**) UNUSED(put_NetworkSettings, INetworkSettings*) PROP(Delay, B)
  PROP(StartBoundary, B) PROP(EndBoundary, B) PROP(DaysInterval, short) PROP(RandomDelay, B) PROP(Interval, B)
  PROP(Duration, B) PROP(StopAtDurationEnd, VB) PROP(Context, B) PROP(Path, B) PROP(Arguments, B)
  PROP(WorkingDirectory, B) UNUSED(get_Type, TASK_TRIGGER_TYPE2*) UNUSED(get_Type, TASK_ACTION_TYPE*)
  // The trigger and action collections
  UNUSED(get_Count, LONG*) UNUSED(get_Item, LONG, ITrigger**) UNUSED(get_Item, LONG, IAction**)
  UNUSED(get__NewEnum, IUnknown**) UNUSED(Remove, VARIANT) UNUSED(Clear)
  METHOD Create(TASK_TRIGGER_TYPE2 type, ITrigger** out) override {
    const HRESULT hr = Set(L"Create", Text(type));
    return type == TASK_TRIGGER_DAILY ? Give<IDailyTrigger>(hr, out, L"Trigger")
                                      : Give<IRegistrationTrigger>(hr, out, L"Trigger");
  }
  METHOD Create(TASK_ACTION_TYPE type, IAction** out) override {
    return Give<IExecAction>(Set(L"Create", Text(type)), out, L"ExecAction");
  }

  std::wstring kind;
  Scheduler* scheduler;

 private:
  HRESULT Set(const wchar_t* method, const std::wstring& args) { return scheduler->Call(kind + L"." + method, &args); }

};


#define TASK TQ_TASK_NAME_PREFIX L"RunAsStdUser"
constexpr wchar_t kViewer[] = L"C:\\apps\\viewer.exe";
constexpr char kSuccessLine[] = "Success! Task successfully registered. : 0\n";
// In use while it lives: CoInitializeSecurity, and CoCreateInstance handing out the service.
struct Fake : Scheduler {
  Object com{L"COM", this};
  const common::ScopedTaskSchedulerAccess access{{[this] { return Call(L"CoInitializeSecurity"); },
      [this](ITaskService** out) { return com.Give<ITaskService>(Call(L"CoCreateInstance"), out, L"Service"); }}};
};

// No user id, no working folder, nothing else set; everything released.
TEST(FakeScheduler, RunAsStdUserRegistersAnUnelevatedTaskStartedByItsRegistration) {
  for (const wchar_t* parameters : {L"--quote sh600000", static_cast<const wchar_t*>(nullptr)}) {
    Fake scheduler;
    LogWatch log;
    ASSERT_TRUE(common::RunAsStdUser(kViewer, parameters));
    EXPECT_EQ(scheduler.Definition(), L"Actions.Create=0\nExecAction.put_Arguments=" +
        std::wstring(parameters ? parameters : L"(null)") + L"\nExecAction.put_Path=C:\\apps\\viewer.exe\n"
        L"Folder.DeleteTask=" TASK L" 0\n"
        L"Folder.RegisterTaskDefinition=" TASK L" (the new task) 6 (empty) (empty) 3 \"\"\n"
        L"Principal.put_Id=" TASK L"_Principal\nPrincipal.put_LogonType=3\nPrincipal.put_RunLevel=0\n"
        L"RegistrationInfo.put_Author=" TASK L"\nService.Connect=(empty) (empty) (empty) (empty)\n"
        L"Service.GetFolder=\\\nService.NewTask=0\nSettings.put_DisallowStartIfOnBatteries=0\n"
        L"Settings.put_StartWhenAvailable=1\nSettings.put_StopIfGoingOnBatteries=0\nTrigger.put_Delay=PT0S\n"
        L"Trigger.put_Id=" TASK L"_Trigger\nTriggers.Create=7\n");
    EXPECT_EQ(scheduler.references, 0);
    EXPECT_EQ(log.Added(), kSuccessLine);
  }
}

// The hour without a leading zero, the end a year after the start.
TEST(FakeScheduler, DailyTaskRepeatsWithinTheDayAndRunsForAYearFromNow) {
  for (const auto& [minutes, interval] : {std::pair{90, L"PT1H30M"}, {120, L"PT2H"}, {45, L"PT45M"}, {1440, L"PT24H"},
                                          {2, L"PT2M"}, {1, L""}, {1441, L""}, {0, L""}}) {
    Fake scheduler;
    const auto expected = [&, interval = interval] {
      SYSTEMTIME t;
      ::GetLocalTime(&t);
      const auto at = [&](int year) {
        wchar_t text[40];
        std::swprintf(text, 40, L"%d-%02d-%02dT%d:%02d:%02d\n", year, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
        return std::wstring(text);
      };
      return (*interval ? L"Repetition.put_Interval=" + std::wstring(interval) + L"\n" : L"") +
             L"Trigger.put_DaysInterval=1\nTrigger.put_EndBoundary=" + at(t.wYear + 1) + L"Trigger.put_Id=" TASK
             L"_Trigger\nTrigger.put_StartBoundary=" + at(t.wYear) + L"Triggers.Create=2\n";
    };
    const std::wstring before = expected();
    ASSERT_TRUE(common::RegisterLaunchTask(TASK, kViewer, L"-x", minutes, TASK_TRIGGER_DAILY));
    const std::wstring daily = scheduler.Definition(L"Repetition") + scheduler.Definition(L"Trigger");
    EXPECT_TRUE(daily == before || daily == expected()) << minutes << "\n" << ws2s(daily);
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
    SCOPED_TRACE(ws2s(c.call) + " type " + std::to_string(c.trigger_type));
    Fake scheduler;
    scheduler.failures[c.call] = c.code;
    LogWatch log;
    ::SetLastError(ERROR_SUCCESS);
    const bool registered = common::RegisterLaunchTask(TASK, kViewer, L"-x", 90, c.trigger_type);
    EXPECT_TRUE(registered || ::GetLastError() != ERROR_SUCCESS) << "a failure leaves its last error";
    EXPECT_EQ(registered, c.registered);
    EXPECT_EQ(log.Added(), (c.line ? c.line + std::string("\n") : "") + (c.registered ? kSuccessLine : ""));
    EXPECT_EQ(std::pair(scheduler.values.count(L"Folder.RegisterTaskDefinition"), scheduler.references),
              std::pair(c.registered ? size_t{1} : 0, 0L));
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
    EXPECT_NE(stored.find("<Author>" + ws2s(name) + "</Author>"), std::string::npos) << stored;
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
                                       : "Failed to create an instance of ITaskService: 800401f0\n"), added.npos)
        << added;
    EXPECT_EQ(::GetFileAttributesW(StoredTaskFile(TASK).c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

// Shown normally, with the parameters as given, not waited for, and no task.
TEST(WindowsXp, RunAsStdUserStartsTheProgramThroughTheShell) {
  ASSERT_FALSE(common::IsVistaOrLater());
  const HelperCopy copy(L"tq_std_user");
  const std::wstring parameters = copy.Arguments(L"sleep 60000");
  LogWatch log;
  ASSERT_TRUE(common::RunAsStdUser(copy.program.c_str(), parameters.c_str()));
  EXPECT_EQ(copy.Value("show"), "1");
  EXPECT_EQ(RecordValue(copy.Record(), "flags"), std::to_string(STARTF_USESHOWWINDOW));
  const std::string command_line = RecordValue(copy.Record(), "command line");
  EXPECT_EQ(command_line.rfind(ws2s(parameters)), command_line.size() - parameters.size()) << command_line;
  EXPECT_TRUE(common::CheckExeIsRunning(copy.name.c_str()));
  common::TerminateApp(copy.name.c_str());
  EXPECT_EQ(log.Added(), "");
  EXPECT_EQ(::GetFileAttributesW(StoredTaskFile(TASK).c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
