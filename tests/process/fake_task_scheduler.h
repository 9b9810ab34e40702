// A recording stand-in for the Task Scheduler 2.0 objects that the task registration
// uses: every call logged in order as "Object.Method", every value set kept as text
// under "Object.Property" (a null string as "(null)"), and a call named in `failures`
// returning that code instead (a failed getter hands out nothing). Release never
// frees, so an extra release shows as a count below one instead of a crash.
#ifndef TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_
#define TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_

#include <windows.h>
#include <taskschd.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "process/std_user_launch_internal.h"

namespace fake_scheduler {

inline std::wstring Text(BSTR text) { return text ? text : L"(null)"; }

inline std::wstring Describe(const VARIANT& value) {
  if (value.vt == VT_EMPTY) return L"(empty)";
  return value.vt == VT_BSTR ? L"\"" + Text(value.bstrVal) + L"\"" : L"(type " + std::to_wstring(value.vt) + L")";
}

class Scheduler;
struct Definition;
struct Service;

struct Counted {
  virtual ~Counted() = default;
  std::wstring kind;
  long references = 1;
  Scheduler* scheduler = nullptr;
};

class Scheduler {
 public:
  // CoInitializeSecurity and CoCreateInstance, the latter handing out the fake service.
  common::TaskSchedulerAccess Access();

  // Logs the call and returns its injected result (S_OK by default).
  HRESULT Call(const std::wstring& name) {
    calls.push_back(name);
    const auto failure = failures.find(name);
    return failure == failures.end() ? S_OK : failure->second;
  }
  // Unless hr failed: object (made on first use, of that kind) with a new reference.
  template <typename T, typename Out>
  HRESULT HandOut(HRESULT hr, T*& object, Out** out, const wchar_t* kind) {
    *out = nullptr;
    if (FAILED(hr)) return hr;
    if (!object) {
      objects_.push_back(std::make_unique<T>());
      object = static_cast<T*>(objects_.back().get());
      object->kind = kind;
      object->scheduler = this;
    }
    object->AddRef();
    *out = object;
    return hr;
  }
  // Every object whose count is not back at the scheduler's own one, as "Kind=count".
  std::vector<std::wstring> Unbalanced() const {
    std::vector<std::wstring> unbalanced;
    for (const auto& object : objects_)
      if (object->references != 1) unbalanced.push_back(object->kind + L"=" + std::to_wstring(object->references));
    return unbalanced;
  }

  std::vector<std::wstring> calls;
  std::map<std::wstring, std::wstring> values;
  std::map<std::wstring, HRESULT> failures;
  Definition* definition = nullptr;  // the one NewTask hands out

 private:
  std::vector<std::unique_ptr<Counted>> objects_;
  Service* service_ = nullptr;
};

// IUnknown and IDispatch for a fake implementing Interface. A query for Interface
// itself is the call "Kind.QueryInterface", so that a test can refuse it.
template <typename Interface>
struct Fake : Interface, Counted {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == __uuidof(Interface)) {
      const HRESULT refused = Call(L"QueryInterface");
      if (FAILED(refused)) return refused;
    } else if (iid != IID_IUnknown && iid != IID_IDispatch) {
      return E_NOINTERFACE;
    }
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT Call(const wchar_t* method) { return scheduler->Call(kind + L"." + method); }
  // Call, keeping the value when the call succeeds.
  HRESULT Set(const wchar_t* property, const std::wstring& value) {
    const HRESULT hr = Call(property);
    if (SUCCEEDED(hr)) scheduler->values[kind + L"." + property] = value;
    return hr;
  }
};

#define FAKE_UNUSED(method, ...) \
  HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return this->Call(L"" #method), E_NOTIMPL; }
#define FAKE_TEXT(property) \
  FAKE_UNUSED(get_##property, BSTR*) \
  HRESULT STDMETHODCALLTYPE put_##property(BSTR value) override { return this->Set(L"" #property, Text(value)); }
#define FAKE_NUMBER(property, Type) \
  FAKE_UNUSED(get_##property, Type*) \
  HRESULT STDMETHODCALLTYPE put_##property(Type value) override { \
    return this->Set(L"" #property, std::to_wstring(value)); \
  }
// A child object of the fake class and kind named property, handed out by the getter.
#define FAKE_CHILD(property, Type) \
  property* property##_ = nullptr; \
  FAKE_UNUSED(put_##property, Type*) \
  HRESULT STDMETHODCALLTYPE get_##property(Type** out) override { \
    return this->scheduler->HandOut(this->Call(L"get_" #property), property##_, out, L"" #property); \
  }

struct RegistrationInfo : Fake<IRegistrationInfo> {
  FAKE_TEXT(Description) FAKE_TEXT(Author) FAKE_TEXT(Version) FAKE_TEXT(Date) FAKE_TEXT(Documentation)
  FAKE_TEXT(XmlText) FAKE_TEXT(URI) FAKE_TEXT(Source)
  FAKE_UNUSED(get_SecurityDescriptor, VARIANT*) FAKE_UNUSED(put_SecurityDescriptor, VARIANT)
};

struct Principal : Fake<IPrincipal> {
  FAKE_TEXT(Id) FAKE_TEXT(DisplayName) FAKE_TEXT(UserId) FAKE_TEXT(GroupId)
  FAKE_NUMBER(LogonType, TASK_LOGON_TYPE) FAKE_NUMBER(RunLevel, TASK_RUNLEVEL_TYPE)
};

struct Settings : Fake<ITaskSettings> {
  FAKE_NUMBER(AllowDemandStart, VARIANT_BOOL) FAKE_TEXT(RestartInterval) FAKE_NUMBER(RestartCount, INT)
  FAKE_NUMBER(MultipleInstances, TASK_INSTANCES_POLICY) FAKE_NUMBER(StopIfGoingOnBatteries, VARIANT_BOOL)
  FAKE_NUMBER(DisallowStartIfOnBatteries, VARIANT_BOOL) FAKE_NUMBER(AllowHardTerminate, VARIANT_BOOL)
  FAKE_NUMBER(StartWhenAvailable, VARIANT_BOOL) FAKE_TEXT(XmlText) FAKE_NUMBER(RunOnlyIfNetworkAvailable, VARIANT_BOOL)
  FAKE_TEXT(ExecutionTimeLimit) FAKE_NUMBER(Enabled, VARIANT_BOOL) FAKE_TEXT(DeleteExpiredTaskAfter)
  FAKE_NUMBER(Priority, INT) FAKE_NUMBER(Compatibility, TASK_COMPATIBILITY) FAKE_NUMBER(Hidden, VARIANT_BOOL)
  FAKE_UNUSED(get_IdleSettings, IIdleSettings**) FAKE_UNUSED(put_IdleSettings, IIdleSettings*)
  FAKE_NUMBER(RunOnlyIfIdle, VARIANT_BOOL) FAKE_NUMBER(WakeToRun, VARIANT_BOOL)
  FAKE_UNUSED(get_NetworkSettings, INetworkSettings**) FAKE_UNUSED(put_NetworkSettings, INetworkSettings*)
};

struct Repetition : Fake<IRepetitionPattern> {
  FAKE_TEXT(Interval) FAKE_TEXT(Duration) FAKE_NUMBER(StopAtDurationEnd, VARIANT_BOOL)
};

// Interface is the one the trigger's type offers.
template <typename Interface>
struct Trigger : Fake<Interface> {
  FAKE_UNUSED(get_Type, TASK_TRIGGER_TYPE2*) FAKE_TEXT(Id) FAKE_CHILD(Repetition, IRepetitionPattern)
  FAKE_TEXT(ExecutionTimeLimit) FAKE_TEXT(StartBoundary) FAKE_TEXT(EndBoundary) FAKE_NUMBER(Enabled, VARIANT_BOOL)
};

struct RegistrationTrigger : Trigger<IRegistrationTrigger> { FAKE_TEXT(Delay) };
struct DailyTrigger : Trigger<IDailyTrigger> { FAKE_NUMBER(DaysInterval, short) FAKE_TEXT(RandomDelay) };

struct Triggers : Fake<ITriggerCollection> {
  FAKE_UNUSED(get_Count, LONG*) FAKE_UNUSED(get_Item, LONG, ITrigger**) FAKE_UNUSED(get__NewEnum, IUnknown**)
  FAKE_UNUSED(Remove, VARIANT) FAKE_UNUSED(Clear)
  // The two types the registration knows, both of the kind "Trigger".
  HRESULT STDMETHODCALLTYPE Create(TASK_TRIGGER_TYPE2 type, ITrigger** out) override {
    const HRESULT hr = Set(L"Create", std::to_wstring(type));
    RegistrationTrigger* registration = nullptr;
    DailyTrigger* daily = nullptr;
    return type == TASK_TRIGGER_DAILY ? scheduler->HandOut(hr, daily, out, L"Trigger")
                                      : scheduler->HandOut(hr, registration, out, L"Trigger");
  }
};

struct ExecAction : Fake<IExecAction> {
  FAKE_TEXT(Id) FAKE_UNUSED(get_Type, TASK_ACTION_TYPE*) FAKE_TEXT(Path) FAKE_TEXT(Arguments)
  FAKE_TEXT(WorkingDirectory)
};

struct Actions : Fake<IActionCollection> {
  FAKE_UNUSED(get_Count, LONG*) FAKE_UNUSED(get_Item, LONG, IAction**) FAKE_UNUSED(get__NewEnum, IUnknown**)
  FAKE_TEXT(XmlText) FAKE_UNUSED(Remove, VARIANT) FAKE_UNUSED(Clear) FAKE_TEXT(Context)
  HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE type, IAction** out) override {
    ExecAction* action = nullptr;
    return scheduler->HandOut(Set(L"Create", std::to_wstring(type)), action, out, L"ExecAction");
  }
};

struct Definition : Fake<ITaskDefinition> {
  FAKE_CHILD(RegistrationInfo, IRegistrationInfo) FAKE_CHILD(Principal, IPrincipal) FAKE_CHILD(Settings, ITaskSettings)
  FAKE_CHILD(Triggers, ITriggerCollection) FAKE_CHILD(Actions, IActionCollection) FAKE_TEXT(Data) FAKE_TEXT(XmlText)
};

struct Folder : Fake<ITaskFolder> {
  FAKE_UNUSED(get_Name, BSTR*) FAKE_UNUSED(get_Path, BSTR*) FAKE_UNUSED(GetFolder, BSTR, ITaskFolder**)
  FAKE_UNUSED(GetFolders, LONG, ITaskFolderCollection**) FAKE_UNUSED(CreateFolder, BSTR, VARIANT, ITaskFolder**)
  FAKE_UNUSED(DeleteFolder, BSTR, LONG) FAKE_UNUSED(GetTask, BSTR, IRegisteredTask**)
  FAKE_UNUSED(GetTasks, LONG, IRegisteredTaskCollection**)
  FAKE_UNUSED(RegisterTask, BSTR, BSTR, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT, IRegisteredTask**)
  FAKE_UNUSED(GetSecurityDescriptor, LONG, BSTR*) FAKE_UNUSED(SetSecurityDescriptor, BSTR, LONG)
  HRESULT STDMETHODCALLTYPE DeleteTask(BSTR name, LONG flags) override {
    return Set(L"DeleteTask", Text(name) + L" " + std::to_wstring(flags));
  }
  // Kept under "Registration.*"; hands out no registered task.
  HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR path, ITaskDefinition* definition, LONG flags, VARIANT user,
                                                   VARIANT password, TASK_LOGON_TYPE logon, VARIANT sddl,
                                                   IRegisteredTask** task) override {
    *task = nullptr;
    const HRESULT hr = Call(L"RegisterTaskDefinition");
    if (FAILED(hr)) return hr;
    scheduler->values.insert({
        {L"Registration.Path", Text(path)},
        {L"Registration.Definition", definition == scheduler->definition ? L"the new task" : L"another"},
        {L"Registration.Flags", std::to_wstring(flags)},
        {L"Registration.User", Describe(user)},
        {L"Registration.Password", Describe(password)},
        {L"Registration.LogonType", std::to_wstring(logon)},
        {L"Registration.SecurityDescriptor", Describe(sddl)},
    });
    return hr;
  }
};

struct Service : Fake<ITaskService> {
  FAKE_UNUSED(GetRunningTasks, LONG, IRunningTaskCollection**) FAKE_UNUSED(get_Connected, VARIANT_BOOL*)
  FAKE_UNUSED(get_TargetServer, BSTR*) FAKE_UNUSED(get_ConnectedUser, BSTR*)
  FAKE_UNUSED(get_ConnectedDomain, BSTR*) FAKE_UNUSED(get_HighestVersion, DWORD*)
  HRESULT STDMETHODCALLTYPE Connect(VARIANT server, VARIANT user, VARIANT domain, VARIANT password) override {
    return Set(L"Connect", Describe(server) + L" " + Describe(user) + L" " + Describe(domain) + L" " +
                               Describe(password));
  }
  HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** out) override {
    return scheduler->HandOut(Set(L"GetFolder", Text(path)), folder, out, L"Folder");
  }
  HRESULT STDMETHODCALLTYPE NewTask(DWORD flags, ITaskDefinition** out) override {
    return scheduler->HandOut(Set(L"NewTask", std::to_wstring(flags)), scheduler->definition, out, L"Definition");
  }

  Folder* folder = nullptr;
};

#undef FAKE_UNUSED
#undef FAKE_TEXT
#undef FAKE_NUMBER
#undef FAKE_CHILD

inline common::TaskSchedulerAccess Scheduler::Access() {
  return {[this] { return Call(L"CoInitializeSecurity"); },
          [this](ITaskService** out) { return HandOut(Call(L"CoCreateInstance"), service_, out, L"Service"); }};
}

}  // namespace fake_scheduler

#endif  // TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_
