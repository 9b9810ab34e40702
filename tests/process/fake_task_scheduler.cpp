#include "process/fake_task_scheduler.h"

namespace fake_scheduler {

std::wstring Text(BSTR text) { return text ? std::wstring(text) : L"(null)"; }

std::wstring Describe(const VARIANT& value) {
  if (value.vt == VT_EMPTY) return L"(empty)";
  if (value.vt == VT_BSTR) return L"\"" + Text(value.bstrVal) + L"\"";
  return L"(type " + std::to_wstring(value.vt) + L")";
}

Scheduler::Scheduler() : service_(Make<Service>()) {}

common::TaskSchedulerAccess Scheduler::Access() {
  return {[this] { return Call(L"CoInitializeSecurity"); },
          [this](ITaskService** out) {
            *out = nullptr;
            const HRESULT hr = Call(L"CoCreateInstance");
            if (FAILED(hr)) return hr;
            service_->AddRef();
            *out = service_;
            return hr;
          }};
}

HRESULT Scheduler::Call(const std::wstring& name) {
  calls.push_back(name);
  const auto failure = failures.find(name);
  return failure == failures.end() ? S_OK : failure->second;
}

HRESULT Scheduler::Set(const std::wstring& name, const std::wstring& value) {
  const HRESULT hr = Call(name);
  if (SUCCEEDED(hr)) values[name] = value;
  return hr;
}

std::vector<std::wstring> Scheduler::Unbalanced() const {
  std::vector<std::wstring> unbalanced;
  for (const auto& object : objects_)
    if (object->references() != 1) unbalanced.push_back(object->kind() + L"=" + std::to_wstring(object->references()));
  return unbalanced;
}

HRESULT Triggers::Create(TASK_TRIGGER_TYPE2 type, ITrigger** out) {
  *out = nullptr;
  const HRESULT hr = Set(L"Create", std::to_wstring(type));
  if (FAILED(hr)) return hr;
  if (type == TASK_TRIGGER_REGISTRATION) {
    *out = scheduler_->Make<RegistrationTrigger>();
  } else if (type == TASK_TRIGGER_DAILY) {
    *out = scheduler_->Make<DailyTrigger>();
  } else {
    *out = scheduler_->Make<TriggerBase<ITrigger>>();
  }
  (*out)->AddRef();
  return hr;
}

HRESULT Actions::Create(TASK_ACTION_TYPE type, IAction** out) {
  *out = nullptr;
  const HRESULT hr = Set(L"Create", std::to_wstring(type));
  if (FAILED(hr)) return hr;
  if (type != TASK_ACTION_EXEC) return E_INVALIDARG;
  *out = scheduler_->Make<ExecAction>();
  (*out)->AddRef();
  return hr;
}

Definition::Definition(Scheduler* scheduler)
    : Fake(scheduler, L"Definition"),
      registration_info_(scheduler->Make<RegistrationInfo>()),
      principal_(scheduler->Make<Principal>()),
      settings_(scheduler->Make<Settings>()),
      triggers_(scheduler->Make<Triggers>()),
      actions_(scheduler->Make<Actions>()) {}

HRESULT Folder::RegisterTaskDefinition(BSTR path, ITaskDefinition* definition, LONG flags, VARIANT user,
                                       VARIANT password, TASK_LOGON_TYPE logon, VARIANT sddl, IRegisteredTask** task) {
  *task = nullptr;
  const HRESULT hr = Call(L"RegisterTaskDefinition");
  if (FAILED(hr)) return hr;
  auto& values = scheduler_->values;
  values[L"Registration.Path"] = Text(path);
  values[L"Registration.Definition"] = definition == scheduler_->definition ? L"the new task" : L"another";
  values[L"Registration.Flags"] = std::to_wstring(flags);
  values[L"Registration.User"] = Describe(user);
  values[L"Registration.Password"] = Describe(password);
  values[L"Registration.LogonType"] = std::to_wstring(logon);
  values[L"Registration.SecurityDescriptor"] = Describe(sddl);
  return hr;
}

HRESULT Service::GetFolder(BSTR path, ITaskFolder** out) {
  *out = nullptr;
  const HRESULT hr = Set(L"GetFolder", Text(path));
  if (FAILED(hr)) return hr;
  *out = scheduler_->Make<Folder>();
  (*out)->AddRef();
  return hr;
}

HRESULT Service::NewTask(DWORD flags, ITaskDefinition** out) {
  *out = nullptr;
  const HRESULT hr = Set(L"NewTask", std::to_wstring(flags));
  if (FAILED(hr)) return hr;
  *out = scheduler_->definition = scheduler_->Make<Definition>();
  (*out)->AddRef();
  return hr;
}

}  // namespace fake_scheduler
