// A small program that the process tests (and tqutil's) start and watch:
//   tq_proc_helper.exe [--record FILE] [STEP ...]
// It keeps a record in FILE (default: its own path + ".rec"), UTF-8, one
// "name: value" a line: first how it was started (command line, folder, and
// flags and show of its startup information), then "debug: TEXT" for each
// text it sends to the debugger and a line for each step that reports one. It
// runs the steps in order and exits 0 after the last one:
//   exit CODE, sleep MS (-1: for ever), wait EVENT (a named event)
//   window TITLE       show a top-level window ("window: HANDLE" in decimal), then
//                      run its message loop for ever
//   watchdog MS        common::ForceTerminateSelf(MS) ("watchdog: THREAD_ID")
//   cancel             common::CancelTerminateSelf on the last watchdog
//   delself|delfolder  common::DelSelf(false|true), then "priority: CLASS" (of the process)
//                      and "thread priority: PRIORITY"
//   killsiblings       common::TerminateAppIgnoreSelf(own path) ("killsiblings: done")
//   mutex NAME         common::CreateAppMutex(NAME) ("mutex: handle|null")
//   reboot             common::RebootSystem() ("reboot: RESULT"), also on stdout
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>

#include "support/test_support.h"
#include "t_common/processes.h"
#include "t_common/self_management.h"
#include "t_common/text.h"
#include "win/scoped_handle.h"

namespace {

std::wstring g_record_file;
std::string g_record;

// Rewritten whole through a temporary file, so that a reader never sees half
// of it; a test reading the record at that moment makes the replacement fail.
void Record(const std::string& name, const std::wstring& value) {
  static std::mutex writing;
  const std::lock_guard<std::mutex> hold(writing);
  g_record += name + ": " + common::ws2s(value) + "\n";
  const std::wstring temporary = g_record_file + L".tmp";
  for (int i = 0; i < 200 && testing_support::WriteBytes(temporary, g_record) &&
                  !::MoveFileExW(temporary.c_str(), g_record_file.c_str(), MOVEFILE_REPLACE_EXISTING); ++i)
    ::Sleep(10);
}

// OutputDebugString raises this exception for a debugger (a wide text is also
// passed on in this form).
LONG CALLBACK RecordDebugText(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& raised = *exception->ExceptionRecord;
  if (raised.ExceptionCode == DBG_PRINTEXCEPTION_C && raised.NumberParameters >= 2)
    Record("debug", common::s2ws(reinterpret_cast<const char*>(raised.ExceptionInformation[1]), CP_ACP));
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool record_given = argc > 2 && std::wcscmp(argv[1], L"--record") == 0;
  g_record_file = record_given ? argv[2] : testing_support::SelfPath() + L".rec";
  wchar_t folder[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, folder);
  STARTUPINFOW startup = {};
  ::GetStartupInfoW(&startup);
  Record("command line", ::GetCommandLineW());
  Record("folder", folder);
  Record("flags", std::to_wstring(startup.dwFlags));
  Record("show", std::to_wstring(startup.wShowWindow));
  ::AddVectoredExceptionHandler(1, &RecordDebugText);

  void* watchdog = nullptr;
  for (int i = record_given ? 3 : 1; i < argc; ++i) {
    const std::wstring step = argv[i];
    const wchar_t* arg = i + 1 < argc ? argv[i + 1] : L"";
    const long number = std::wcstol(arg, nullptr, 10);
    if (step == L"sleep" || step == L"wait" || step == L"window" || step == L"watchdog" || step == L"mutex") ++i;
    if (step == L"exit") return static_cast<int>(number);
    if (step == L"sleep") ::Sleep(static_cast<DWORD>(number));
    if (step == L"wait") ::WaitForSingleObject(win::ScopedHandle(::OpenEventW(SYNCHRONIZE, FALSE, arg)).get(), INFINITE);
    if (step == L"window") {
      // No window of the static class ends the message loop.
      HWND window = ::CreateWindowExW(0, L"STATIC", arg, WS_OVERLAPPEDWINDOW, 100, 100, 320, 240, nullptr,
                                      nullptr, nullptr, nullptr);
      ::ShowWindow(window, SW_SHOWNORMAL);
      Record("window", std::to_wstring(reinterpret_cast<uintptr_t>(window)));
      for (MSG message; ::GetMessageW(&message, nullptr, 0, 0) > 0;) ::DispatchMessageW(&message);
    }
    if (step == L"watchdog") {
      watchdog = common::ForceTerminateSelf(static_cast<int>(number));
      Record("watchdog", std::to_wstring(::GetThreadId(watchdog)));
    }
    if (step == L"cancel") common::CancelTerminateSelf(watchdog);
    if (step == L"delself" || step == L"delfolder") {
      common::DelSelf(step == L"delfolder");
      Record("priority", std::to_wstring(::GetPriorityClass(::GetCurrentProcess())));
      Record("thread priority", std::to_wstring(::GetThreadPriority(::GetCurrentThread())));
    }
    if (step == L"killsiblings") common::TerminateAppIgnoreSelf(testing_support::SelfPath().c_str());
    if (step == L"killsiblings") Record("killsiblings", L"done");
    if (step == L"mutex") Record("mutex", common::CreateAppMutex(arg) ? L"handle" : L"null");
    if (step == L"reboot") {
      const int result = common::RebootSystem();
      std::printf("reboot: %d\n", result);
      std::fflush(stdout);
      Record("reboot", std::to_wstring(result));
    }
  }
  return 0;
}
