#include "t_common/processes.h"

#include <windows.h>
#include <process.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <cwchar>
#include <functional>

#include "process/process_search_internal.h"
#include "win/com.h"
#include "win/scoped_handle.h"

namespace common {
namespace process_search_internal {
namespace {

PauseFunction g_pause = nullptr;

}  // namespace

PauseFunction SetPauseForTesting(PauseFunction pause) {
  const PauseFunction previous = g_pause;
  g_pause = pause;
  return previous;
}

}  // namespace process_search_internal

namespace {

constexpr int kTerminationPasses = 30;
constexpr DWORD kPassPause = 100;

void Pause(DWORD milliseconds) {
  if (process_search_internal::g_pause != nullptr) {
    process_search_internal::g_pause(milliseconds);
  } else {
    ::Sleep(milliseconds);
  }
}

// Calls visit with each entry of a fresh process list until it returns true;
// the id of that entry, or 0.
DWORD FindInProcessList(const std::function<bool(const PROCESSENTRY32W&)>& visit) {
  const win::ScopedSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (visit(entry)) return entry.th32ProcessID;
  }
  return 0;
}

DWORD FindByName(const wchar_t* name) {
  if (name == nullptr) return 0;
  const wchar_t* file_name = ::PathFindFileNameW(name);
  return FindInProcessList([file_name](const PROCESSENTRY32W& entry) {
    return ::_wcsicmp(entry.szExeFile, file_name) == 0;
  });
}

void TerminateByName(const wchar_t* name, DWORD spared_process_id) {
  DWORD match = FindByName(name);
  for (int pass = 0; pass < kTerminationPasses && match != 0; ++pass) {
    if (match != spared_process_id) {
      const win::ScopedHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, match));
      if (process) ::TerminateProcess(process.get(), 0);
      Pause(kPassPause);
    }
    match = FindByName(name);
  }
}

// EnumWindows callback: brings the first window of the process *context names
// to the front and stops there.
BOOL CALLBACK ShowFirstWindowOfProcess(HWND window, LPARAM context) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != *reinterpret_cast<const DWORD*>(context)) return TRUE;
  ::SetForegroundWindow(window);
  ::ShowWindow(window, ::IsIconic(window) ? SW_SHOWNORMAL : SW_SHOW);
  return FALSE;
}

}  // namespace

unsigned long GetProcessID(const wchar_t* name) { return FindByName(name); }

bool CheckExeIsRunning(const wchar_t* name) {
  if (name == nullptr) return false;
  return FindInProcessList([name](const PROCESSENTRY32W& entry) { return std::wcscmp(entry.szExeFile, name) == 0; }) !=
         0;
}

bool IsAppExist(const wchar_t* name) {
  if (name == nullptr) return false;
  win::ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, name));
  const DWORD error = ::GetLastError();
  return mutex.valid() && error == ERROR_ALREADY_EXISTS;
}

bool TerminateApp(const wchar_t* name) {
  TerminateByName(name, 0);
  return true;
}

bool TerminateAppIgnoreSelf(const wchar_t* name) {
  TerminateByName(name, static_cast<DWORD>(::_getpid()));
  return true;
}

bool ShowApp(const wchar_t* name) {
  DWORD process_id = FindByName(name);
  if (process_id == 0) return false;
  ::EnumWindows(&ShowFirstWindowOfProcess, reinterpret_cast<LPARAM>(&process_id));
  return true;
}

void SetWindowTop(HWND window) {
  const DWORD own_thread = ::GetCurrentThreadId();
  const DWORD foreground_thread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
  ::AttachThreadInput(own_thread, foreground_thread, TRUE);
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
  ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  ::AttachThreadInput(own_thread, foreground_thread, FALSE);
}

void modifyTaskbar(HWND window, bool show) {
  win::ComPtr<ITaskbarList> taskbar;
  if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList,
                                taskbar.put_void())))
    return;
  taskbar->HrInit();
  if (show) {
    taskbar->AddTab(window);
  } else {
    taskbar->DeleteTab(window);
  }
}

}  // namespace common
