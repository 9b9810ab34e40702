#include "t_common/launch.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <string>

#include "foundation/input_checks.h"
#include "process/launch_internal.h"
#include "t_common/os_version.h"
#include "win/result.h"
#include "win/scoped_handle.h"

namespace common {
namespace launch_internal {

std::wstring WorkingFolderOf(const wchar_t* path, size_t max_length) {
  wchar_t folder[MAX_PATH] = {};
  std::wcsncpy(folder, path, max_length < MAX_PATH ? max_length : MAX_PATH - 1);
  ::PathRemoveFileSpecW(folder);
  return folder;
}

std::wstring LauncherCommandLine(const wchar_t* path, const wchar_t* parameters) {
  constexpr size_t kCapacity = 2048;
  if (parameters == nullptr) return std::wstring();
  std::wstring command_line = L"\"" + std::wstring(path) + L"\" " + parameters;
  if (command_line.size() > kCapacity - 1) command_line.resize(kCapacity - 1);
  return command_line;
}

const wchar_t* AdminVerb(bool vista_or_later, bool user_is_admin) {
  return vista_or_later && !user_is_admin ? L"runas" : nullptr;
}

namespace {

AdminCheck g_admin_check = nullptr;

}  // namespace

AdminCheck SetAdminCheckForTesting(AdminCheck check) {
  const AdminCheck previous = g_admin_check;
  g_admin_check = check;
  return previous;
}

}  // namespace launch_internal

namespace {

// The shell functions cut a longer path to this many characters for the folder.
constexpr size_t kShellFolderPathLength = MAX_PATH - 1;

HRESULT ShellExecuteAndWait(const wchar_t* verb, const wchar_t* path, const wchar_t* parameters, bool wait,
                            int show) {
  if (path == nullptr || *path == L'\0') return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
  if (!FitsShellPath(path)) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  const std::wstring folder = launch_internal::WorkingFolderOf(path, kShellFolderPathLength);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  // No message box on failure: it would wait for a click, and the caller
  // gets the real error instead.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = verb;
  info.lpFile = path;
  info.lpParameters = parameters;
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = show;
  if (!::ShellExecuteExW(&info)) return win::LastErrorAsHresult();
  const win::ScopedHandle process(info.hProcess);
  if (wait && process) ::WaitForSingleObject(process.get(), INFINITE);
  return S_OK;
}

HRESULT CreateChildAndWait(const wchar_t* path, const wchar_t* parameters, bool wait, DWORD show_command) {
  if (path == nullptr || *path == L'\0') return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
  // The working folder is cut from a MAX_PATH copy of the path: a longer path
  // would give the program a folder that is not its own.
  if (std::wcslen(path) >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  const std::wstring folder = launch_internal::WorkingFolderOf(path, MAX_PATH - 1);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (show_command != SW_SHOWDEFAULT) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show_command);
  }
  std::wstring command_line = launch_internal::LauncherCommandLine(path, parameters);
  win::ScopedProcessInformation process;
  if (!::CreateProcessW(path, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, process.receive()))
    return win::LastErrorAsHresult();
  if (wait) ::WaitForSingleObject(process.process(), INFINITE);
  return S_OK;
}

}  // namespace

bool ExecuteExe(const wchar_t* path, const wchar_t* parameters, bool wait, bool show) {
  return win::ReportResult(ShellExecuteAndWait(L"open", path, parameters, wait, show ? SW_SHOWNORMAL : SW_HIDE));
}

bool ExecuteExeAsAdmin(const wchar_t* path, const wchar_t* parameters, bool wait) {
  const bool user_is_admin = launch_internal::g_admin_check != nullptr ? launch_internal::g_admin_check()
                                                                      : ::IsUserAnAdmin() != FALSE;
  const wchar_t* verb = launch_internal::AdminVerb(IsVistaOrLater(), user_is_admin);
  return win::ReportResult(ShellExecuteAndWait(verb, path, parameters, wait, SW_SHOWNORMAL));
}

bool LauncherApp(const wchar_t* path, const wchar_t* parameters, bool wait, DWORD show_command) {
  return win::ReportResult(CreateChildAndWait(path, parameters, wait, show_command));
}

}  // namespace common
