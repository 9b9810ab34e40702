#include "t_common/self_management.h"

#include <windows.h>
#include <process.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "win/scoped_handle.h"

namespace common {
namespace {

void SendWatchdogLine(const wchar_t* event) {
  wchar_t line[512] = {};
  std::swprintf(line, 512, L"%ls<%u><%u>", event, static_cast<unsigned>(::GetCurrentThreadId()),
                static_cast<unsigned>(::GetTickCount()));
  ::OutputDebugStringW(line);
}

// A watchdog waits on its own event, so a cancel ends the wait and the thread
// ends itself: a thread ended from outside could hold the loader or heap lock.
struct Watchdog {
  DWORD delay_ms;
  win::ScopedHandle cancel{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

unsigned __stdcall WatchdogRoutine(void* argument) {
  const std::shared_ptr<Watchdog> watchdog =
      std::move(*std::unique_ptr<std::shared_ptr<Watchdog>>(static_cast<std::shared_ptr<Watchdog>*>(argument)));
  SendWatchdogLine(L"_ExitMoniterThread begin");
  if (::WaitForSingleObject(watchdog->cancel.get(), watchdog->delay_ms) != WAIT_TIMEOUT) return 0;
  SendWatchdogLine(L"_ExitMoniterThread end");
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(-1));
  return 0;
}

// The watchdogs started and not yet cancelled, by the handle their caller
// holds: no other value is ever ended or closed.
std::mutex g_watchdogs_lock;
std::map<void*, std::shared_ptr<Watchdog>> g_watchdogs;

// The interpreter's parameters for DelSelf, or empty when there is nothing to
// do (a drive root). The program cannot be deleted while it runs, and its
// caller may not exit at once: the command tries again every second (ping
// waits, as cmd has no sleep of its own) for about 30 s, and ends as soon as
// the target is gone. The paths are quoted: a short name may hold &, ^, ( or ),
// which cmd would otherwise take as the end of a command. No "@(": Wine's cmd
// then leaves the loop's body unexpanded.
std::wstring DeletionCommand(const std::wstring& short_path, bool whole_folder) {
  std::wstring target = short_path, remove;
  if (whole_folder) {
    target = short_path.substr(0, short_path.rfind(L'\\') + 1);
    if (target.size() < 4) return std::wstring();
    remove = L"rd \"" + target + L"\" /S/Q";
  } else {
    remove = L"del \"" + target + L"\" > nul";
  }
  return L"/c for /l %i in (1,1,30) do (" + remove + L" & if exist \"" + target +
         L"\" (ping -n 2 127.0.0.1 > nul) else exit)";
}

}  // namespace

void* ForceTerminateSelf(int delay_ms) {
  auto watchdog = std::make_shared<Watchdog>();
  if (!watchdog->cancel) return nullptr;
  watchdog->delay_ms = static_cast<DWORD>(delay_ms);
  auto argument = std::make_unique<std::shared_ptr<Watchdog>>(watchdog);
  void* const thread =
      reinterpret_cast<void*>(::_beginthreadex(nullptr, 0, &WatchdogRoutine, argument.get(), 0, nullptr));
  if (thread == nullptr) return nullptr;
  argument.release();
  const std::lock_guard<std::mutex> hold(g_watchdogs_lock);
  g_watchdogs[thread] = std::move(watchdog);
  return thread;
}

void CancelTerminateSelf(void* watchdog) {
  std::shared_ptr<Watchdog> cancelled;
  {
    const std::lock_guard<std::mutex> hold(g_watchdogs_lock);
    const auto found = g_watchdogs.find(watchdog);
    if (found == g_watchdogs.end()) return;
    cancelled = std::move(found->second);
    g_watchdogs.erase(found);
  }
  // The caller's handle to the thread is ours to close once the watchdog is known.
  const win::ScopedHandle thread(static_cast<HANDLE>(watchdog));
  ::OutputDebugStringW(L"Cancel Moniter");
  ::SetEvent(cancelled->cancel.get());
}

void DelSelf(bool whole_folder) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wchar_t short_path[MAX_PATH] = {};
  const DWORD short_length = ::GetShortPathNameW(path, short_path, MAX_PATH);
  if (short_length > 0 && short_length < MAX_PATH) std::wcscpy(path, short_path);

  wchar_t interpreter[MAX_PATH] = {};
  const DWORD interpreter_length = ::GetEnvironmentVariableW(L"COMSPEC", interpreter, MAX_PATH);
  if (interpreter_length == 0 || interpreter_length >= MAX_PATH) return;

  const std::wstring parameters = DeletionCommand(path, whole_folder);
  if (parameters.empty()) return;
  // Outside the folder being removed: a folder that is some process's current
  // folder cannot be removed, and the caller's current folder may be that one.
  wchar_t system_folder[MAX_PATH] = {};
  ::GetSystemDirectoryW(system_folder, MAX_PATH);

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"Open";
  info.lpFile = interpreter;
  info.lpParameters = parameters.c_str();
  info.lpDirectory = system_folder;
  info.nShow = SW_HIDE;
  if (!::ShellExecuteExW(&info)) return;
  const win::ScopedHandle command(info.hProcess);
  ::SetPriorityClass(command.get(), IDLE_PRIORITY_CLASS);
  ::SetPriorityClass(::GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  const std::wstring deleted = whole_folder ? std::wstring(path).substr(0, std::wstring(path).rfind(L'\\') + 1)
                                            : std::wstring(path);
  ::SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, deleted.c_str(), nullptr);
}

void* CreateAppMutex(const wchar_t* name) {
  if (name == nullptr || *name == L'\0') {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SECURITY_DESCRIPTOR descriptor = {};
  ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = &descriptor;
  attributes.bInheritHandle = FALSE;
  win::ScopedHandle mutex(::CreateMutexW(&attributes, FALSE, name));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) return nullptr;
  return mutex.release();
}

int RebootSystem() {
  win::ScopedHandle token;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.receive())) {
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    const DWORD error = ::GetLastError();
    token.reset();
    if (error != ERROR_SUCCESS) return 0;
  }
  return ::ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0) ? 1 : 0;
}

}  // namespace common
