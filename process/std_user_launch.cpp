#include "process/std_user_launch_internal.h"

#include <windows.h>
#include <comdef.h>
#include <taskschd.h>

#include <cwchar>
#include <utility>

#include "foundation/failure_log.h"
#include "foundation/product_names.h"
#include "t_base/program_log.h"
#include "t_common/launch.h"
#include "t_common/os_version.h"
#include "t_common/std_user_launch.h"
#include "win/com.h"
#include "win/result.h"

namespace common {
namespace {

const TaskSchedulerAccess* g_access_override = nullptr;

HRESULT InitializeProcessSecurity() {
  return ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

HRESULT CreateTaskService(ITaskService** service) {
  return ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService,
                            reinterpret_cast<void**>(service));
}

const TaskSchedulerAccess& Access() {
  static const TaskSchedulerAccess com = {&InitializeProcessSecurity, &CreateTaskService};
  return g_access_override ? *g_access_override : com;
}

// A string for the scheduler. One that cannot be allocated is COM's
// out-of-memory error, which reaches the caller as an exception; the holders
// of the interfaces acquired so far release them on the way out.
class ComString {
 public:
  explicit ComString(const wchar_t* text) : text_(text) {
    if (text && !text_.get()) throw _com_error(E_OUTOFMEMORY);
  }
  BSTR get() const { return text_.get(); }

 private:
  win::ScopedBstr text_;
};

HRESULT SetRegistrationDelay(const win::ComPtr<ITrigger>& trigger, HRESULT created, int delay_seconds) {
  win::ComPtr<IRegistrationTrigger> registration;
  const HRESULT hr = FAILED(created) ? created : trigger.As(&registration);
  if (FAILED(hr)) {
    LogFailedStep(L"Cannot create a registration trigger: %x", created);
    return hr;
  }
  wchar_t delay[32];
  std::swprintf(delay, 32, L"PT%dS", delay_seconds);
  registration->put_Delay(ComString(delay).get());
  return S_OK;
}

// Every day from now for a year; every repeat_minutes within the day when that
// lies from 2 minutes to a whole day.
HRESULT SetDailySchedule(const win::ComPtr<ITrigger>& trigger, HRESULT created, int repeat_minutes) {
  win::ComPtr<IDailyTrigger> daily;
  HRESULT hr = FAILED(created) ? created : trigger.As(&daily);
  if (FAILED(hr)) {
    LogFailedStep(L"Cannot create a daily trigger: %x", created);
    return hr;
  }
  if (repeat_minutes >= 2 && repeat_minutes <= 1440) {
    win::ComPtr<IRepetitionPattern> repetition;
    hr = daily->get_Repetition(repetition.put());
    if (!repetition) {
      LogFailedStep(L"Update repetition failedr: %x", hr);
      return FAILED(hr) ? hr : E_POINTER;
    }
    wchar_t hours[10] = L"", minutes[10] = L"", interval[32];
    if (repeat_minutes / 60 > 0) std::swprintf(hours, 10, L"%dH", repeat_minutes / 60);
    if (repeat_minutes % 60 > 0) std::swprintf(minutes, 10, L"%dM", repeat_minutes % 60);
    std::swprintf(interval, 32, L"PT%ls%ls", hours, minutes);
    repetition->put_Interval(ComString(interval).get());
  }
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  // The hour without a leading zero, as the client's tasks have always had it.
  constexpr const wchar_t* kBoundary = L"%d-%02d-%02dT%d:%02d:%02d";
  wchar_t start[40], end[40];
  std::swprintf(start, 40, kBoundary, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  std::swprintf(end, 40, kBoundary, now.wYear + 1, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  daily->put_StartBoundary(ComString(start).get());
  daily->put_EndBoundary(ComString(end).get());
  daily->put_DaysInterval(1);
  return S_OK;
}

// The interfaces of the task being built, declared in the order of
// acquisition, so that every way out releases them in reverse.
struct TaskParts {
  win::ComPtr<IRegistrationInfo> registration_info;
  win::ComPtr<IPrincipal> principal;
  win::ComPtr<ITaskSettings> settings;
  win::ComPtr<ITriggerCollection> triggers;
  win::ComPtr<ITrigger> trigger;
  win::ComPtr<IActionCollection> actions;
  win::ComPtr<IAction> action;
  win::ComPtr<IExecAction> exec_action;
};

// The service connected to this computer as the current user without a
// password, and its root folder.
HRESULT OpenRootFolder(const VARIANT& empty, win::ComPtr<ITaskService>& service, win::ComPtr<ITaskFolder>& root) {
  const TaskSchedulerAccess& access = Access();
  HRESULT hr = access.initialize_security();
  // RPC_E_TOO_LATE: the process's security was set before, which is as good.
  if (FAILED(hr) && hr != RPC_E_TOO_LATE) LogFailedStep(L"CoInitializeSecurity failed: %x", hr);
  hr = access.create_service(service.put());
  if (FAILED(hr)) return LogFailedStep(L"Failed to create an instance of ITaskService: %x", hr);
  hr = service->Connect(empty, empty, empty, empty);
  if (FAILED(hr)) return LogFailedStep(L"ITaskService::Connect failed: %x", hr);
  hr = service->GetFolder(ComString(L"\\").get(), root.put());
  if (FAILED(hr)) return LogFailedStep(L"Cannot get Root Folder pointer: %x", hr);
  return S_OK;
}

// Author, principal and settings: the interactive user's session with that
// user's unelevated token.
HRESULT DescribeTask(ITaskDefinition* definition, const ComString& name, TaskParts& parts) {
  HRESULT hr = definition->get_RegistrationInfo(parts.registration_info.put());
  if (FAILED(hr)) return LogFailedStep(L"Cannot get identification pointer: %x", hr);
  parts.registration_info->put_Author(name.get());

  hr = definition->get_Principal(parts.principal.put());
  if (FAILED(hr)) return LogFailedStep(L"Cannot get principal pointer: %x", hr);
  wchar_t principal_id[100];
  std::swprintf(principal_id, 100, L"%ls_Principal", name.get());
  parts.principal->put_Id(ComString(principal_id).get());
  parts.principal->put_LogonType(TASK_LOGON_INTERACTIVE_TOKEN);
  parts.principal->put_RunLevel(TASK_RUNLEVEL_LUA);

  // 1 for true, as the client has always passed it; the scheduler takes any
  // non-zero value as true.
  hr = definition->get_Settings(parts.settings.put());
  if (FAILED(hr)) return LogFailedStep(L"Cannot get settings pointer: %x", hr);
  parts.settings->put_StartWhenAvailable(1);
  parts.settings->put_StopIfGoingOnBatteries(0);
  parts.settings->put_DisallowStartIfOnBatteries(0);
  return S_OK;
}

HRESULT AddTrigger(ITaskDefinition* definition, const wchar_t* task_name, int trigger_value, int trigger_type,
                   TaskParts& parts) {
  HRESULT hr = definition->get_Triggers(parts.triggers.put());
  if (FAILED(hr)) return LogFailedStep(L"Cannot get trigger collection: %x", hr);
  const HRESULT created = parts.triggers->Create(static_cast<TASK_TRIGGER_TYPE2>(trigger_type), parts.trigger.put());
  if (parts.trigger) {
    wchar_t trigger_id[100];
    std::swprintf(trigger_id, 100, L"%ls_Trigger", task_name);
    parts.trigger->put_Id(ComString(trigger_id).get());
  }
  if (trigger_type == TASK_TRIGGER_REGISTRATION) return SetRegistrationDelay(parts.trigger, created, trigger_value);
  if (trigger_type == TASK_TRIGGER_DAILY) return SetDailySchedule(parts.trigger, created, trigger_value);
  return S_OK;
}

HRESULT AddAction(ITaskDefinition* definition, const wchar_t* path, const wchar_t* parameters, TaskParts& parts) {
  HRESULT hr = definition->get_Actions(parts.actions.put());
  if (FAILED(hr)) return LogFailedStep(L"Cannot get Task collection pointer: %x", hr);
  hr = parts.actions->Create(TASK_ACTION_EXEC, parts.action.put());
  if (SUCCEEDED(hr)) hr = parts.action.As(&parts.exec_action);
  if (FAILED(hr)) return LogFailedStep(L"Cannot create action: %x", hr);
  parts.exec_action->put_Path(ComString(path).get());
  parts.exec_action->put_Arguments(ComString(parameters).get());
  return S_OK;
}

// Created or replaced, to run with the interactive user's token; an empty
// security descriptor text.
HRESULT SaveTask(ITaskFolder* root, BSTR name, ITaskDefinition* definition, const VARIANT& empty) {
  win::ScopedVariant security_descriptor;
  VARIANT* empty_text = security_descriptor.receive();
  empty_text->vt = VT_BSTR;
  empty_text->bstrVal = ::SysAllocString(L"");
  if (!empty_text->bstrVal) throw _com_error(E_OUTOFMEMORY);
  win::ComPtr<IRegisteredTask> registered;
  const HRESULT hr = root->RegisterTaskDefinition(name, definition, TASK_CREATE_OR_UPDATE, empty, empty,
                                                  TASK_LOGON_INTERACTIVE_TOKEN, security_descriptor.get(),
                                                  registered.put());
  if (FAILED(hr)) return LogFailedStep(L"Error saving the Task : %x", hr);
  WriteProgramLogNoMask(L"Success! Task successfully registered. : %d", 0);
  return S_OK;
}

HRESULT RegisterTask(const wchar_t* task_name, const wchar_t* path, const wchar_t* parameters, int trigger_value,
                     int trigger_type) {
  win::ComPtr<ITaskService> service;
  const win::ScopedVariant empty;
  win::ComPtr<ITaskFolder> root;
  HRESULT hr = OpenRootFolder(empty.get(), service, root);
  if (FAILED(hr)) return hr;
  const ComString name(task_name);
  // A missing task is no error.
  root->DeleteTask(name.get(), 0);
  win::ComPtr<ITaskDefinition> definition;
  hr = service->NewTask(0, definition.put());
  if (FAILED(hr)) return LogFailedStep(L"Failed to create a task definition: %x", hr);
  TaskParts parts;
  if (FAILED(hr = DescribeTask(definition.get(), name, parts))) return hr;
  if (FAILED(hr = AddTrigger(definition.get(), task_name, trigger_value, trigger_type, parts))) return hr;
  if (FAILED(hr = AddAction(definition.get(), path, parameters, parts))) return hr;
  return SaveTask(root.get(), name.get(), definition.get(), empty.get());
}

}  // namespace

bool RegisterLaunchTask(const wchar_t* task_name, const wchar_t* path, const wchar_t* parameters, int trigger_value,
                        int trigger_type) {
  return win::ReportResult(RegisterTask(task_name, path, parameters, trigger_value, trigger_type));
}

// Windows XP has no Task Scheduler 2.0, and no elevation to shed.
bool RunAsStdUser(const wchar_t* path, const wchar_t* parameters) {
  if (!IsVistaOrLater()) return ExecuteExe(path, parameters, false, true);
  return RegisterLaunchTask(TQ_TASK_NAME_PREFIX L"RunAsStdUser", path, parameters, 0, TASK_TRIGGER_REGISTRATION);
}

ScopedTaskSchedulerAccess::ScopedTaskSchedulerAccess(TaskSchedulerAccess access)
    : access_(std::move(access)), previous_(g_access_override) {
  g_access_override = &access_;
}

ScopedTaskSchedulerAccess::~ScopedTaskSchedulerAccess() { g_access_override = previous_; }

}  // namespace common
