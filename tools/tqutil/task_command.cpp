// tqutil task show: what the Windows Task Scheduler holds for a task of its
// root folder, read from the scheduler itself; and tqutil launch
// --standard-user, which registers such a task through the library.
#include <windows.h>
#include <taskschd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "commands.h"
#include "t_base/program_log.h"
#include "t_common/files.h"
#include "t_common/os_version.h"
#include "t_common/std_user_launch.h"
#include "win/com.h"

namespace {

using namespace tqutil;

std::wstring Hex(HRESULT code) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(code));
  return text;
}

const wchar_t* StateName(TASK_STATE state) {
  switch (state) {
    case TASK_STATE_UNKNOWN: return L"unknown";
    case TASK_STATE_DISABLED: return L"disabled";
    case TASK_STATE_QUEUED: return L"queued";
    case TASK_STATE_READY: return L"ready";
    case TASK_STATE_RUNNING: return L"running";
  }
  return L"(not listed)";
}

int ShowTask(const std::wstring& name) {
  win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  if (!com.usable()) return Fail(L"COM cannot be initialised: " + Hex(com.result()));
  win::ComPtr<ITaskService> service;
  HRESULT hr = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService, service.put_void());
  if (FAILED(hr)) return Fail(L"the task scheduler cannot be reached: " + Hex(hr));
  const win::ScopedVariant empty;
  hr = service->Connect(empty.get(), empty.get(), empty.get(), empty.get());
  if (FAILED(hr)) return Fail(L"the task scheduler refuses the connection: " + Hex(hr));
  win::ComPtr<ITaskFolder> root;
  const win::ScopedBstr root_path(L"\\");
  hr = service->GetFolder(root_path.get(), root.put());
  if (FAILED(hr)) return Fail(L"the root folder of the task scheduler cannot be opened: " + Hex(hr));

  win::ComPtr<IRegisteredTask> task;
  const win::ScopedBstr task_name(name.c_str());
  hr = root->GetTask(task_name.get(), task.put());
  if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
    PrintFact(L"task \\" + name, L"none");
    return kExitOk;
  }
  if (FAILED(hr)) return Fail(L"the task cannot be read: " + Hex(hr));

  win::ScopedBstr path;
  PrintFact(L"task", SUCCEEDED(task->get_Path(path.receive())) && path.get() ? path.get() : L"\\" + name);
  TASK_STATE state = TASK_STATE_UNKNOWN;
  if (SUCCEEDED(task->get_State(&state))) PrintFact(L"state", StateName(state));
  VARIANT_BOOL enabled = VARIANT_FALSE;
  if (SUCCEEDED(task->get_Enabled(&enabled))) PrintFact(L"enabled", enabled ? L"yes" : L"no");
  win::ScopedBstr xml;
  hr = task->get_Xml(xml.receive());
  if (FAILED(hr)) return Fail(L"the task's definition cannot be read: " + Hex(hr));
  PrintLine(L"definition:");
  PrintLine(xml.get() ? xml.get() : L"");
  return kExitOk;
}

int RunTask(const Args& args) {
  if (args.size() != 2 || args[0] != L"show") return UsageError(kTaskCommand);
  return ShowTask(args[1]);
}

// The program log's lines from this process: the library writes there which
// step of the registration failed.
void PrintOwnLogLines() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  wchar_t file[MAX_PATH];
  std::vector<std::wstring> rows;
  if (!GetProgramLogFile(&now, file, MAX_PATH) || !common::ReadFileByRow(file, rows)) return;
  const std::wstring own = L" " + std::to_wstring(::GetCurrentProcessId()) + L" ";
  for (const std::wstring& row : rows)
    if (row.find(own) != std::wstring::npos) PrintNote(L"program log: " + row);
}

}  // namespace

namespace tqutil {

int LaunchAsStandardUser(const std::wstring& path, const wchar_t* parameters) {
  // The scheduler is reached through COM on this thread.
  const win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  if (!common::RunAsStdUser(path.c_str(), parameters)) {
    PrintOwnLogLines();
    return Fail(L"could not start " + path + L" as a standard user");
  }
  PrintFact(common::IsVistaOrLater() ? L"registered to start" : L"started", path);
  return kExitOk;
}

extern const Command kTaskCommand = {L"task", L"task show NAME",
                                     L"what the Task Scheduler holds for a task of its root folder", &RunTask};
}  // namespace tqutil
