// A recording stand-in for the Task Scheduler 2.0 objects that the task
// registration uses. Every call is logged in order as "Object.Method", every
// value set is kept as text under "Object.Property" (a null string as
// "(null)"), and a call named in `failures` returns that code instead (a failed
// getter hands out nothing). The scheduler owns every object it made and keeps
// one reference to each; Release never frees, so an extra release shows as a
// count below one instead of a crash.
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

struct Counted {
  virtual ~Counted() = default;
  std::wstring kind;
  long references = 1;
};

class Definition;
class Service;

class Scheduler {
 public:
  // CoInitializeSecurity and CoCreateInstance as the calls of those names, the
  // latter handing out the fake service.
  common::TaskSchedulerAccess Access();

  // Logs the call and returns its injected result (S_OK by default).
  HRESULT Call(const std::wstring& name) {
    calls.push_back(name);
    const auto failure = failures.find(name);
    return failure == failures.end() ? S_OK : failure->second;
  }
  // Call, keeping the value when the call succeeds.
  HRESULT Set(const std::wstring& name, const std::wstring& value) {
    const HRESULT hr = Call(name);
    if (SUCCEEDED(hr)) values[name] = value;
    return hr;
  }
  // Unless hr failed: object (made on first use) with a new reference.
  template <typename T, typename Out>
  HRESULT HandOut(HRESULT hr, T*& object, Out** out) {
    *out = nullptr;
    if (FAILED(hr)) return hr;
    if (!object) {
      objects_.push_back(std::make_unique<T>(this));
      object = static_cast<T*>(objects_.back().get());
    }
    object->AddRef();
    *out = object;
    return hr;
  }
  // Every object whose count is not back at the scheduler's own reference, as
  // "Kind=count".
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

// IUnknown and IDispatch for a fake implementing Interface. A query for
// Interface itself counts as the call "Kind.QueryInterface", so that a test can
// refuse it.
template <typename Interface>
class Fake : public Interface, public Counted {
 public:
  Fake(Scheduler* scheduler, const wchar_t* name) : scheduler_(scheduler) { kind = name; }

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

 protected:
  HRESULT Call(const wchar_t* method) { return scheduler_->Call(kind + L"." + method); }
  HRESULT Set(const wchar_t* property, const std::wstring& value) {
    return scheduler_->Set(kind + L"." + property, value);
  }

  Scheduler* scheduler_;
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
#define FAKE_OBJECT(property, Type) FAKE_UNUSED(get_##property, Type**) FAKE_UNUSED(put_##property, Type*)
// A child object of class Class handed out by the getter.
#define FAKE_CHILD(property, Type, Class) \
  Class* property##_ = nullptr; \
  FAKE_UNUSED(put_##property, Type*) \
  HRESULT STDMETHODCALLTYPE get_##property(Type** out) override { \
    return this->scheduler_->HandOut(this->Call(L"get_" #property), property##_, out); \
  }

class RegistrationInfo : public Fake<IRegistrationInfo> {
 public:
  explicit RegistrationInfo(Scheduler* scheduler) : Fake(scheduler, L"RegistrationInfo") {}
  FAKE_TEXT(Description) FAKE_TEXT(Author) FAKE_TEXT(Version) FAKE_TEXT(Date) FAKE_TEXT(Documentation)
  FAKE_TEXT(XmlText) FAKE_TEXT(URI) FAKE_TEXT(Source)
  FAKE_UNUSED(get_SecurityDescriptor, VARIANT*) FAKE_UNUSED(put_SecurityDescriptor, VARIANT)
};

class Principal : public Fake<IPrincipal> {
 public:
  explicit Principal(Scheduler* scheduler) : Fake(scheduler, L"Principal") {}
  FAKE_TEXT(Id) FAKE_TEXT(DisplayName) FAKE_TEXT(UserId) FAKE_TEXT(GroupId)
  FAKE_NUMBER(LogonType, TASK_LOGON_TYPE) FAKE_NUMBER(RunLevel, TASK_RUNLEVEL_TYPE)
};

class Settings : public Fake<ITaskSettings> {
 public:
  explicit Settings(Scheduler* scheduler) : Fake(scheduler, L"Settings") {}
  FAKE_NUMBER(AllowDemandStart, VARIANT_BOOL) FAKE_TEXT(RestartInterval) FAKE_NUMBER(RestartCount, INT)
  FAKE_NUMBER(MultipleInstances, TASK_INSTANCES_POLICY) FAKE_NUMBER(StopIfGoingOnBatteries, VARIANT_BOOL)
  FAKE_NUMBER(DisallowStartIfOnBatteries, VARIANT_BOOL) FAKE_NUMBER(AllowHardTerminate, VARIANT_BOOL)
  FAKE_NUMBER(StartWhenAvailable, VARIANT_BOOL) FAKE_TEXT(XmlText) FAKE_NUMBER(RunOnlyIfNetworkAvailable, VARIANT_BOOL)
  FAKE_TEXT(ExecutionTimeLimit) FAKE_NUMBER(Enabled, VARIANT_BOOL) FAKE_TEXT(DeleteExpiredTaskAfter)
  FAKE_NUMBER(Priority, INT) FAKE_NUMBER(Compatibility, TASK_COMPATIBILITY) FAKE_NUMBER(Hidden, VARIANT_BOOL)
  FAKE_OBJECT(IdleSettings, IIdleSettings) FAKE_NUMBER(RunOnlyIfIdle, VARIANT_BOOL) FAKE_NUMBER(WakeToRun, VARIANT_BOOL)
  FAKE_OBJECT(NetworkSettings, INetworkSettings)
};

class Repetition : public Fake<IRepetitionPattern> {
 public:
  explicit Repetition(Scheduler* scheduler) : Fake(scheduler, L"Repetition") {}
  FAKE_TEXT(Interval) FAKE_TEXT(Duration) FAKE_NUMBER(StopAtDurationEnd, VARIANT_BOOL)
};

// Every trigger kind is "Trigger"; Interface is the one its type offers.
template <typename Interface>
class Trigger : public Fake<Interface> {
 public:
  explicit Trigger(Scheduler* scheduler) : Fake<Interface>(scheduler, L"Trigger") {}
  FAKE_UNUSED(get_Type, TASK_TRIGGER_TYPE2*) FAKE_TEXT(Id) FAKE_CHILD(Repetition, IRepetitionPattern, Repetition)
  FAKE_TEXT(ExecutionTimeLimit) FAKE_TEXT(StartBoundary) FAKE_TEXT(EndBoundary) FAKE_NUMBER(Enabled, VARIANT_BOOL)
};

class RegistrationTrigger : public Trigger<IRegistrationTrigger> {
 public:
  using Trigger::Trigger;
  FAKE_TEXT(Delay)
};

class DailyTrigger : public Trigger<IDailyTrigger> {
 public:
  using Trigger::Trigger;
  FAKE_NUMBER(DaysInterval, short) FAKE_TEXT(RandomDelay)
};

class Triggers : public Fake<ITriggerCollection> {
 public:
  explicit Triggers(Scheduler* scheduler) : Fake(scheduler, L"Triggers") {}
  FAKE_UNUSED(get_Count, LONG*) FAKE_UNUSED(get_Item, LONG, ITrigger**) FAKE_UNUSED(get__NewEnum, IUnknown**)
  FAKE_UNUSED(Remove, VARIANT) FAKE_UNUSED(Clear)
  // The two types the registration knows.
  HRESULT STDMETHODCALLTYPE Create(TASK_TRIGGER_TYPE2 type, ITrigger** out) override {
    const HRESULT hr = Set(L"Create", std::to_wstring(type));
    RegistrationTrigger* registration = nullptr;
    DailyTrigger* daily = nullptr;
    return type == TASK_TRIGGER_DAILY ? scheduler_->HandOut(hr, daily, out) : scheduler_->HandOut(hr, registration, out);
  }
};

class ExecAction : public Fake<IExecAction> {
 public:
  explicit ExecAction(Scheduler* scheduler) : Fake(scheduler, L"ExecAction") {}
  FAKE_TEXT(Id) FAKE_UNUSED(get_Type, TASK_ACTION_TYPE*) FAKE_TEXT(Path) FAKE_TEXT(Arguments)
  FAKE_TEXT(WorkingDirectory)
};

class Actions : public Fake<IActionCollection> {
 public:
  explicit Actions(Scheduler* scheduler) : Fake(scheduler, L"Actions") {}
  FAKE_UNUSED(get_Count, LONG*) FAKE_UNUSED(get_Item, LONG, IAction**) FAKE_UNUSED(get__NewEnum, IUnknown**)
  FAKE_TEXT(XmlText) FAKE_UNUSED(Remove, VARIANT) FAKE_UNUSED(Clear) FAKE_TEXT(Context)
  HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE type, IAction** out) override {
    ExecAction* action = nullptr;
    return scheduler_->HandOut(Set(L"Create", std::to_wstring(type)), action, out);
  }
};

class Definition : public Fake<ITaskDefinition> {
 public:
  explicit Definition(Scheduler* scheduler) : Fake(scheduler, L"Definition") {}
  FAKE_CHILD(RegistrationInfo, IRegistrationInfo, RegistrationInfo) FAKE_CHILD(Principal, IPrincipal, Principal)
  FAKE_CHILD(Settings, ITaskSettings, Settings) FAKE_CHILD(Triggers, ITriggerCollection, Triggers)
  FAKE_CHILD(Actions, IActionCollection, Actions) FAKE_TEXT(Data) FAKE_TEXT(XmlText)
};

class Folder : public Fake<ITaskFolder> {
 public:
  explicit Folder(Scheduler* scheduler) : Fake(scheduler, L"Folder") {}
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
    scheduler_->values.insert({
        {L"Registration.Path", Text(path)},
        {L"Registration.Definition", definition == scheduler_->definition ? L"the new task" : L"another"},
        {L"Registration.Flags", std::to_wstring(flags)},
        {L"Registration.User", Describe(user)},
        {L"Registration.Password", Describe(password)},
        {L"Registration.LogonType", std::to_wstring(logon)},
        {L"Registration.SecurityDescriptor", Describe(sddl)},
    });
    return hr;
  }
};

class Service : public Fake<ITaskService> {
 public:
  explicit Service(Scheduler* scheduler) : Fake(scheduler, L"Service") {}
  FAKE_UNUSED(GetRunningTasks, LONG, IRunningTaskCollection**) FAKE_UNUSED(get_Connected, VARIANT_BOOL*)
  FAKE_UNUSED(get_TargetServer, BSTR*) FAKE_UNUSED(get_ConnectedUser, BSTR*)
  FAKE_UNUSED(get_ConnectedDomain, BSTR*) FAKE_UNUSED(get_HighestVersion, DWORD*)
  HRESULT STDMETHODCALLTYPE Connect(VARIANT server, VARIANT user, VARIANT domain, VARIANT password) override {
    return Set(L"Connect", Describe(server) + L" " + Describe(user) + L" " + Describe(domain) + L" " +
                               Describe(password));
  }
  HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** out) override {
    return scheduler_->HandOut(Set(L"GetFolder", Text(path)), folder_, out);
  }
  HRESULT STDMETHODCALLTYPE NewTask(DWORD flags, ITaskDefinition** out) override {
    return scheduler_->HandOut(Set(L"NewTask", std::to_wstring(flags)), scheduler_->definition, out);
  }

 private:
  Folder* folder_ = nullptr;
};

#undef FAKE_UNUSED
#undef FAKE_TEXT
#undef FAKE_NUMBER
#undef FAKE_OBJECT
#undef FAKE_CHILD

inline common::TaskSchedulerAccess Scheduler::Access() {
  return {[this] { return Call(L"CoInitializeSecurity"); },
          [this](ITaskService** out) { return HandOut(Call(L"CoCreateInstance"), service_, out); }};
}

}  // namespace fake_scheduler

#endif  // TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_
