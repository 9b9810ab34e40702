#include "process/helper_process.h"

#include <windows.h>

#include <cstdio>

#include "support/test_support.h"

namespace process_testing {
namespace {

std::wstring BuildFolder() {
  std::wstring folder = testing_support::SelfPath();
  return folder.substr(0, folder.rfind(L'\\'));
}

void PutBuildFolderOnPath() {
  static const bool done = [] {
    wchar_t path[32767] = {};
    ::GetEnvironmentVariableW(L"PATH", path, 32767);
    return ::SetEnvironmentVariableW(L"PATH", (BuildFolder() + L";" + path).c_str()) != FALSE;
  }();
  (void)done;
}

std::wstring FolderOf(const std::wstring& program) { return program.substr(0, program.rfind(L'\\')); }

}  // namespace

std::wstring HelperPath() { return BuildFolder() + L"\\tq_proc_helper.exe"; }

std::wstring UniqueExeName(const std::wstring& prefix) {
  static LONG counter = 0;
  wchar_t name[MAX_PATH] = {};
  std::swprintf(name, MAX_PATH, L"%ls_%lu_%ld.exe", prefix.c_str(), ::GetCurrentProcessId(),
                ::InterlockedIncrement(&counter));
  return name;
}

std::wstring CopyHelper(const std::wstring& folder, const std::wstring& name) {
  PutBuildFolderOnPath();
  const std::wstring copy = folder + L"\\" + name;
  ::CopyFileW(HelperPath().c_str(), copy.c_str(), FALSE);
  return copy;
}

std::string WaitForRecord(const std::wstring& file, const std::string& name, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  do {
    const std::string record = testing_support::ReadBytes(file);
    if (("\n" + record).find("\n" + name + ":") != std::string::npos) return record;
    ::Sleep(20);
  } while (::GetTickCount64() < deadline);
  return std::string();
}

std::string RecordValue(const std::string& record, const std::string& name) {
  const std::string lines = "\n" + record;
  const std::string key = "\n" + name + ": ";
  const size_t at = lines.find(key);
  if (at == std::string::npos) return std::string();
  const size_t start = at + key.size();
  return lines.substr(start, lines.find('\n', start) - start);
}

bool WaitUntilGone(const std::wstring& path, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  do {
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    ::Sleep(50);
  } while (::GetTickCount64() < deadline);
  return false;
}

Helper::Helper(const std::wstring& program, const std::wstring& arguments, HANDLE token) {
  PutBuildFolderOnPath();
  std::wstring command_line = L"\"" + program + L"\" " + arguments;
  const std::wstring folder = FolderOf(program);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  win::ScopedProcessInformation info;
  const BOOL ok = token != nullptr
                      ? ::CreateProcessAsUserW(token, program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0,
                                               nullptr, folder.c_str(), &startup, info.receive())
                      : ::CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                         folder.c_str(), &startup, info.receive());
  if (!ok) return;
  id_ = info.process_id();
  process_.reset(info.release_process());
}

Helper::~Helper() {
  if (Running()) {
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

bool Helper::Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

DWORD Helper::WaitForExit(DWORD timeout_ms) const {
  if (!process_ || ::WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

DebugRun RunUnderDebugger(const std::wstring& program, const std::wstring& arguments, DWORD timeout_ms) {
  PutBuildFolderOnPath();
  DebugRun run;
  std::wstring command_line = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  win::ScopedProcessInformation info;
  if (!::CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &startup, info.receive()))
    return run;
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    DEBUG_EVENT event = {};
    if (now >= deadline || !::WaitForDebugEvent(&event, static_cast<DWORD>(deadline - now))) {
      ::TerminateProcess(info.process(), 1);
      ::DebugActiveProcessStop(info.process_id());
      ::WaitForSingleObject(info.process(), 5000);
      run.exit_code = STILL_ACTIVE;
      return run;
    }
    DWORD continue_status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT: {
        const win::ScopedHandle image_file(event.u.CreateProcessInfo.hFile);
        break;
      }
      case LOAD_DLL_DEBUG_EVENT: {
        const win::ScopedHandle dll_file(event.u.LoadDll.hFile);
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
          continue_status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& text = event.u.DebugString;
        const size_t unit = text.fUnicode ? sizeof(wchar_t) : 1;
        std::string bytes(text.nDebugStringLength * unit, '\0');
        SIZE_T read = 0;
        ::ReadProcessMemory(info.process(), text.lpDebugStringData, &bytes[0], bytes.size(), &read);
        bytes.resize(read);
        if (text.fUnicode) {
          std::string narrow;
          for (size_t i = 0; i + 1 < bytes.size(); i += 2) narrow += bytes[i];
          bytes = narrow;
        }
        while (!bytes.empty() && (bytes.back() == '\0' || bytes.back() == '\n')) bytes.pop_back();
        run.debug_lines.push_back(bytes);
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        run.exit_code = event.u.ExitProcess.dwExitCode;
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
        return run;
      default:
        break;
    }
    ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continue_status);
  }
}

}  // namespace process_testing
