#include "process/helper_process.h"

#include <windows.h>

namespace process_testing {
namespace {

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::wstring UniqueName(const std::wstring& prefix) {
  static LONG counter = 0;
  return prefix + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(::InterlockedIncrement(&counter));
}

// Starts program "arguments" in program's folder.
bool Start(const std::wstring& program, const std::wstring& arguments, HANDLE token, DWORD flags,
           win::ScopedProcessInformation& info) {
  std::wstring command_line = L"\"" + program + L"\" " + arguments;
  const std::wstring folder = FolderOf(program);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  return token ? ::CreateProcessAsUserW(token, program.c_str(), &command_line[0], nullptr, nullptr, FALSE, flags,
                                        nullptr, folder.c_str(), &startup, info.receive())
               : ::CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, flags, nullptr,
                                  folder.c_str(), &startup, info.receive());
}

}  // namespace

std::wstring HelperPath() { return FolderOf(testing_support::SelfPath()) + L"\\tq_proc_helper.exe"; }

std::wstring UniqueExeName(const std::wstring& prefix) { return UniqueName(prefix) + L".exe"; }

std::wstring CopyHelper(const std::wstring& folder, const std::wstring& name) {
  static const bool path_set = [] {
    wchar_t path[32767] = {};
    ::GetEnvironmentVariableW(L"PATH", path, 32767);
    return ::SetEnvironmentVariableW(L"PATH", (FolderOf(HelperPath()) + L";" + path).c_str()) != FALSE;
  }();
  (void)path_set;
  const std::wstring copy = folder + L"\\" + name;
  ::CopyFileW(HelperPath().c_str(), copy.c_str(), FALSE);
  return copy;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms) {
  for (const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;; ::Sleep(20)) {
    if (condition()) return true;
    if (::GetTickCount64() >= deadline) return false;
  }
}

std::string RecordValue(const std::wstring& record, const std::string& name) {
  const std::string lines = "\n" + testing_support::ReadBytes(record);
  const size_t at = lines.find("\n" + name + ": ");
  if (at == std::string::npos) return std::string();
  const size_t start = at + name.size() + 3;
  return lines.substr(start, lines.find('\n', start) - start);
}

std::string WaitForRecordValue(const std::wstring& record, const std::string& name) {
  std::string value;
  WaitFor([&] { return !(value = RecordValue(record, name)).empty(); });
  return value;
}

NamedEvent::NamedEvent() : name_(UniqueName(L"tq_event")), event_(::CreateEventW(nullptr, TRUE, FALSE, name_.c_str())) {}

Helper::Helper(const std::wstring& program, const std::wstring& arguments, HANDLE token) {
  win::ScopedProcessInformation info;
  if (!Start(program, arguments, token, 0, info)) return;
  id_ = info.process_id();
  process_.reset(info.release_process());
}

Helper::~Helper() {
  if (!Running()) return;
  ::TerminateProcess(process_.get(), 1);
  ::WaitForSingleObject(process_.get(), 5000);
}

DWORD Helper::WaitForExit(DWORD timeout_ms) const {
  DWORD code = STILL_ACTIVE;
  if (process_ && ::WaitForSingleObject(process_.get(), timeout_ms) == WAIT_OBJECT_0)
    ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

DebugRun RunUnderDebugger(const std::wstring& program, const std::wstring& arguments, DWORD timeout_ms) {
  DebugRun run;
  win::ScopedProcessInformation info;
  if (!Start(program, arguments, nullptr, DEBUG_ONLY_THIS_PROCESS, info)) return run;
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    DEBUG_EVENT event = {};
    if (now >= deadline || !::WaitForDebugEvent(&event, static_cast<DWORD>(deadline - now))) {
      ::TerminateProcess(info.process(), 1);
      ::DebugActiveProcessStop(info.process_id());
      ::WaitForSingleObject(info.process(), 5000);
      return run;
    }
    DWORD continue_status = DBG_CONTINUE;
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
      win::ScopedHandle{event.u.CreateProcessInfo.hFile};
    } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
      win::ScopedHandle{event.u.LoadDll.hFile};
    } else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
      if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
        continue_status = DBG_EXCEPTION_NOT_HANDLED;
    } else if (event.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT) {
      const OUTPUT_DEBUG_STRING_INFO& text = event.u.DebugString;
      const size_t unit = text.fUnicode ? sizeof(wchar_t) : 1;
      std::string bytes(text.nDebugStringLength * unit, '\0'), line;
      SIZE_T read = 0;
      ::ReadProcessMemory(info.process(), text.lpDebugStringData, &bytes[0], bytes.size(), &read);
      for (size_t i = 0; i < read; i += unit) line += bytes[i];  // the texts are ASCII
      while (!line.empty() && (line.back() == '\0' || line.back() == '\n')) line.pop_back();
      run.debug_lines.push_back(line);
    } else if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
      run.exit_code = event.u.ExitProcess.dwExitCode;
      ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
      return run;
    }
    ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continue_status);
  }
}

}  // namespace process_testing
