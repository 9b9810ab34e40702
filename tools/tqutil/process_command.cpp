// tqutil proc, launch and mutex: the library's process functions by hand.
//   proc find|running|kill|show NAME, proc kill --ignore-self NAME
//   launch [--wait] [--hidden] [--shell|--admin|--direct] PATH [PARAMETERS]
//   launch --standard-user PATH [PARAMETERS]
//   mutex test NAME
#include <windows.h>

#include <string>

#include "command.h"
#include "commands.h"
#include "t_common/launch.h"
#include "t_common/processes.h"
#include "t_common/self_management.h"
#include "win/scoped_handle.h"

namespace {

using namespace tqutil;

int RunProc(const Args& args);
int RunLaunch(const Args& args);
int RunMutex(const Args& args);

}  // namespace

namespace tqutil {

extern const Command kProcCommand = {L"proc", L"proc find|running|kill|show NAME, proc kill --ignore-self NAME",
                                     L"find, check, end or show a running program by executable name", &RunProc};
extern const Command kLaunchCommand = {L"launch",
                                       L"launch [--wait] [--hidden] [--shell|--admin|--direct] PATH [PARAMETERS], "
                                       L"launch --standard-user PATH [PARAMETERS]",
                                       L"start a program through the shell (default), elevated, directly or as a "
                                       L"standard user through the Task Scheduler",
                                       &RunLaunch};
extern const Command kMutexCommand = {L"mutex", L"mutex test NAME",
                                      L"whether a single-instance mutex exists, then take it", &RunMutex};

}  // namespace tqutil

namespace {

int RunProc(const Args& args) {
  const bool ignore_self = args.size() == 3 && args[0] == L"kill" && args[1] == L"--ignore-self";
  if (args.size() != 2 && !ignore_self) return UsageError(kProcCommand);
  const std::wstring& action = args[0];
  const wchar_t* name = args.back().c_str();
  if (action == L"find") {
    const unsigned long id = common::GetProcessID(name);
    if (id == 0) return Fail(L"no process named " + args.back());
    PrintFact(L"process id", std::to_wstring(id));
    return kExitOk;
  }
  if (action == L"running") {
    const bool running = common::CheckExeIsRunning(name);
    PrintFact(args.back(), running ? L"running" : L"not running (exact name, letter case included)");
    return running ? kExitOk : kExitFailed;
  }
  if (action == L"kill") {
    const unsigned long before = common::GetProcessID(name);
    if (ignore_self) {
      common::TerminateAppIgnoreSelf(name);
    } else {
      common::TerminateApp(name);
    }
    const unsigned long after = common::GetProcessID(name);
    PrintFact(L"first match before", before == 0 ? L"none" : std::to_wstring(before));
    PrintFact(L"first match after", after == 0 ? L"none" : std::to_wstring(after));
    return kExitOk;
  }
  if (action == L"show") {
    if (!common::ShowApp(name)) return Fail(L"no process named " + args.back());
    PrintFact(L"shown", args.back());
    return kExitOk;
  }
  return UsageError(kProcCommand);
}

int RunLaunch(const Args& args) {
  bool wait = false;
  bool hidden = false;
  std::wstring how = L"--shell";
  size_t next = 0;
  for (; next < args.size() && args[next].rfind(L"--", 0) == 0; ++next) {
    if (args[next] == L"--wait") {
      wait = true;
    } else if (args[next] == L"--hidden") {
      hidden = true;
    } else if (args[next] == L"--shell" || args[next] == L"--admin" || args[next] == L"--direct" ||
               args[next] == L"--standard-user") {
      how = args[next];
    } else {
      return UsageError(kLaunchCommand);
    }
  }
  if (next >= args.size() || args.size() - next > 2) return UsageError(kLaunchCommand);
  const wchar_t* path = args[next].c_str();
  const wchar_t* parameters = next + 1 < args.size() ? args[next + 1].c_str() : nullptr;
  if (how == L"--standard-user") {
    if (wait || hidden) return UsageError(kLaunchCommand);
    return LaunchAsStandardUser(args[next], parameters);
  }
  bool started = false;
  if (how == L"--admin") {
    started = common::ExecuteExeAsAdmin(path, parameters, wait);
  } else if (how == L"--direct") {
    started = common::LauncherApp(path, parameters, wait, hidden ? SW_HIDE : SW_SHOWNORMAL);
  } else {
    started = common::ExecuteExe(path, parameters, wait, !hidden);
  }
  if (!started) return Fail(L"could not start " + args[next] + L" (error " + std::to_wstring(::GetLastError()) + L")");
  PrintFact(wait ? L"started and ended" : L"started", args[next]);
  return kExitOk;
}

int RunMutex(const Args& args) {
  if (args.size() != 2 || args[0] != L"test") return UsageError(kMutexCommand);
  const wchar_t* name = args[1].c_str();
  PrintFact(L"exists", common::IsAppExist(name) ? L"yes" : L"no");
  const win::ScopedHandle mutex(common::CreateAppMutex(name));
  if (!mutex) return Fail(L"cannot take mutex " + args[1] + L": another process holds it or the name is not valid");
  PrintFact(L"taken", args[1]);
  return kExitOk;
}

}  // namespace
