// A small program that the process tests (and tqutil's) start and watch.
//
//   tq_proc_helper.exe [--record FILE] [STEP ...]
//
// It first writes a record of how it was started to FILE (default: its own
// path + ".rec"), UTF-8, one "name: value" a line:
//   pid, command line (GetCommandLineW), folder (the current folder),
//   flags and show (dwFlags and wShowWindow of GetStartupInfoW)
// then runs the steps in order, appending a line for each step that reports
// something, and exits 0 after the last one. Steps:
//   exit CODE        exit now with CODE
//   sleep MS         sleep MS milliseconds (-1: for ever)
//   wait EVENT       wait for the named event
//   window TITLE     show a top-level window and run its message loop until it
//                    is closed ("window: HANDLE" in decimal)
//   watchdog MS      common::ForceTerminateSelf(MS) ("watchdog: THREAD_ID|null")
//   cancel           common::CancelTerminateSelf on the last watchdog
//   delself          common::DelSelf(false) ("delself: called")
//   delfolder        common::DelSelf(true) ("delfolder: called")
//   killsiblings     common::TerminateAppIgnoreSelf(own path) ("killsiblings: done")
//   mutex NAME       common::CreateAppMutex(NAME) ("mutex: handle|null")
//   reboot           common::RebootSystem() ("reboot: RESULT"), also on stdout
//   priority         "priority: CLASS" (GetPriorityClass, hexadecimal)
// The record is rewritten whole through a temporary file, so a reader never
// sees half of it.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "t_common/processes.h"
#include "t_common/self_management.h"
#include "win/scoped_handle.h"

namespace {

std::wstring g_record_file;
std::string g_record;

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string bytes(size, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                        nullptr);
  return bytes;
}

void Record(const std::wstring& name, const std::wstring& value) {
  g_record += Utf8(name + L": " + value) + "\n";
  const std::wstring temporary = g_record_file + L".tmp";
  {
    const win::ScopedHandle file(
        ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), g_record.data(), static_cast<DWORD>(g_record.size()), &written, nullptr);
  }
  // A test reading the record at that moment makes the replacement fail.
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (::MoveFileExW(temporary.c_str(), g_record_file.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
    ::Sleep(10);
  }
}

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void ShowWindowAndLoop(const std::wstring& title) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = &WindowProcedure;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"tq_proc_helper";
  ::RegisterClassW(&window_class);
  HWND window = ::CreateWindowExW(0, window_class.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 100, 100, 320,
                                  240, nullptr, nullptr, window_class.hInstance, nullptr);
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);
  Record(L"window", std::to_wstring(reinterpret_cast<uintptr_t>(window)));
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int next = 1;
  if (argc > 2 && std::wcscmp(argv[1], L"--record") == 0) {
    g_record_file = argv[2];
    next = 3;
  } else {
    g_record_file = OwnPath() + L".rec";
  }
  wchar_t folder[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, folder);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  Record(L"pid", std::to_wstring(::GetCurrentProcessId()));
  Record(L"command line", ::GetCommandLineW());
  Record(L"folder", folder);
  Record(L"flags", std::to_wstring(startup.dwFlags));
  Record(L"show", std::to_wstring(startup.wShowWindow));

  void* watchdog = nullptr;
  for (int i = next; i < argc; ++i) {
    const std::wstring step = argv[i];
    const wchar_t* argument = i + 1 < argc ? argv[i + 1] : L"";
    if (step == L"exit") {
      return std::wcstol(argument, nullptr, 10);
    } else if (step == L"sleep") {
      ::Sleep(static_cast<DWORD>(std::wcstol(argument, nullptr, 10)));
      ++i;
    } else if (step == L"wait") {
      const win::ScopedHandle event(::OpenEventW(SYNCHRONIZE, FALSE, argument));
      if (event) ::WaitForSingleObject(event.get(), INFINITE);
      ++i;
    } else if (step == L"window") {
      ShowWindowAndLoop(argument);
      ++i;
    } else if (step == L"watchdog") {
      watchdog = common::ForceTerminateSelf(static_cast<int>(std::wcstol(argument, nullptr, 10)));
      Record(L"watchdog", watchdog != nullptr ? std::to_wstring(::GetThreadId(watchdog)) : L"null");
      ++i;
    } else if (step == L"cancel") {
      common::CancelTerminateSelf(watchdog);
    } else if (step == L"delself" || step == L"delfolder") {
      common::DelSelf(step == L"delfolder");
      Record(step, L"called");
    } else if (step == L"killsiblings") {
      common::TerminateAppIgnoreSelf(OwnPath().c_str());
      Record(L"killsiblings", L"done");
    } else if (step == L"mutex") {
      Record(L"mutex", common::CreateAppMutex(argument) != nullptr ? L"handle" : L"null");
      ++i;
    } else if (step == L"reboot") {
      const int result = common::RebootSystem();
      std::printf("reboot: %d\n", result);
      std::fflush(stdout);
      Record(L"reboot", std::to_wstring(result));
    } else if (step == L"priority") {
      wchar_t text[16] = {};
      std::swprintf(text, 16, L"%lx", static_cast<unsigned long>(::GetPriorityClass(::GetCurrentProcess())));
      Record(L"priority", text);
    } else {
      std::fwprintf(stderr, L"unknown step %ls\n", step.c_str());
      return 2;
    }
  }
  return 0;
}
