// A recording stand-in for the Task Scheduler 2.0 objects that the task
// registration uses. A call that sets something, or that the registration
// should never make, keeps its arguments as text under "Kind.method" (a null
// string as "(null)"); a call named in `failures` returns that code instead,
// and a failed getter hands out nothing. Objects live as long as the
// scheduler; `references` counts those handed out and not yet released.
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
inline std::wstring Text(long long number) { return std::to_wstring(number); }
inline std::wstring Text(const VARIANT& v) {
  return v.vt == VT_EMPTY ? L"(empty)" : v.vt == VT_BSTR ? L"\"" + Text(v.bstrVal) + L"\"" : L"(variant)";
}
template <typename First, typename... Rest>
std::wstring Texts(const First& first, const Rest&... rest) {
  return (Text(first) + ... + (L" " + Text(rest)));
}

struct Scheduler {
  // CoInitializeSecurity, and CoCreateInstance handing out the fake service.
  common::TaskSchedulerAccess Access();
  HRESULT Call(const std::wstring& name, const std::wstring* arguments = nullptr) {
    const auto failure = failures.find(name);
    if (failure != failures.end()) return failure->second;
    if (arguments) values[name] = *arguments;
    return S_OK;
  }
  // Unless hr failed, a new object of that kind.
  template <typename T, typename Out>
  HRESULT HandOut(HRESULT hr, Out** out, const wchar_t* kind) {
    *out = nullptr;
    if (FAILED(hr)) return hr;
    const auto object = std::make_shared<T>();
    objects_.push_back(object);
    object->kind = kind;
    object->scheduler = this;
    object->AddRef();
    *out = object.get();
    return hr;
  }
  // The values kept by calls whose names start with prefix, "name=value" a line in name order.
  std::wstring Definition(const std::wstring& prefix = L"") const {
    std::wstring text;
    for (const auto& [name, value] : values)
      if (name.compare(0, prefix.size(), prefix) == 0) text += name + L"=" + value + L"\n";
    return text;
  }

  std::map<std::wstring, std::wstring> values;
  std::map<std::wstring, HRESULT> failures;
  long references = 0;
  ITaskDefinition* definition = nullptr;  // the last one NewTask handed out

 private:
  std::vector<std::shared_ptr<void>> objects_;
};

// A method the registration never calls.
#define UNUSED(method, ...) \
  HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return this->Set(L"" #method, L"(unused)"), E_NOTIMPL; }

// IUnknown and IDispatch for a fake of Interface. A query for Interface itself
// is the call "Kind.QueryInterface", so that a test can refuse it.
template <typename Interface>
struct Fake : Interface {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    const HRESULT hr = iid == __uuidof(Interface) ? scheduler->Call(kind + L".QueryInterface")
                       : iid == IID_IUnknown || iid == IID_IDispatch ? S_OK : E_NOINTERFACE;
    if (SUCCEEDED(hr)) *out = static_cast<Interface*>(this), AddRef();
    return hr;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++scheduler->references; }
  ULONG STDMETHODCALLTYPE Release() override { return --scheduler->references; }
  UNUSED(GetTypeInfoCount, UINT*) UNUSED(GetTypeInfo, UINT, LCID, ITypeInfo**)
  UNUSED(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
  UNUSED(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
  HRESULT Set(const wchar_t* method, const std::wstring& arguments) {
    return scheduler->Call(kind + L"." + method, &arguments);
  }
  std::wstring kind;
  Scheduler* scheduler = nullptr;
};

// A property whose setter keeps its value; a child object of the fake class
// `name`, handed out by the getter.
#define PROP(name, Type) \
  UNUSED(get_##name, Type*) \
  HRESULT STDMETHODCALLTYPE put_##name(Type value) override { return this->Set(L"put_" #name, Text(value)); }
#define CHILD(name, Type) \
  UNUSED(put_##name, Type*) \
  HRESULT STDMETHODCALLTYPE get_##name(Type** out) override { \
    const HRESULT hr = this->scheduler->Call(this->kind + L".get_" #name); \
    return this->scheduler->template HandOut<name>(hr, out, L"" #name); \
  }
#define COLLECTION(Item) \
  UNUSED(get_Count, LONG*) UNUSED(get_Item, LONG, Item**) UNUSED(get__NewEnum, IUnknown**) UNUSED(Remove, VARIANT) \
  UNUSED(Clear)
using B = BSTR;
using VB = VARIANT_BOOL;

struct RegistrationInfo : Fake<IRegistrationInfo> {
  PROP(Description, B) PROP(Author, B) PROP(Version, B) PROP(Date, B) PROP(Documentation, B) PROP(XmlText, B)
  PROP(URI, B) PROP(SecurityDescriptor, VARIANT) PROP(Source, B)
};
struct Principal : Fake<IPrincipal> {
  PROP(Id, B) PROP(DisplayName, B) PROP(UserId, B) PROP(LogonType, TASK_LOGON_TYPE) PROP(GroupId, B)
  PROP(RunLevel, TASK_RUNLEVEL_TYPE)
};
struct Settings : Fake<ITaskSettings> {
  PROP(AllowDemandStart, VB) PROP(RestartInterval, B) PROP(RestartCount, INT) PROP(XmlText, B) PROP(Priority, INT)
  PROP(MultipleInstances, TASK_INSTANCES_POLICY) PROP(StopIfGoingOnBatteries, VB) PROP(Enabled, VB)
  PROP(DisallowStartIfOnBatteries, VB) PROP(AllowHardTerminate, VB) PROP(StartWhenAvailable, VB) PROP(Hidden, VB)
  PROP(RunOnlyIfNetworkAvailable, VB) PROP(ExecutionTimeLimit, B) PROP(DeleteExpiredTaskAfter, B)
  PROP(Compatibility, TASK_COMPATIBILITY) PROP(RunOnlyIfIdle, VB) PROP(WakeToRun, VB)
  UNUSED(get_IdleSettings, IIdleSettings**) UNUSED(put_IdleSettings, IIdleSettings*)
  UNUSED(get_NetworkSettings, INetworkSettings**) UNUSED(put_NetworkSettings, INetworkSettings*)
};
struct Repetition : Fake<IRepetitionPattern> { PROP(Interval, B) PROP(Duration, B) PROP(StopAtDurationEnd, VB) };
template <typename Interface>
struct Trigger : Fake<Interface> {
  UNUSED(get_Type, TASK_TRIGGER_TYPE2*) PROP(Id, B) PROP(ExecutionTimeLimit, B) PROP(StartBoundary, B)
  PROP(EndBoundary, B) PROP(Enabled, VB) CHILD(Repetition, IRepetitionPattern)
};
struct RegistrationTrigger : Trigger<IRegistrationTrigger> { PROP(Delay, B) };
struct DailyTrigger : Trigger<IDailyTrigger> { PROP(DaysInterval, short) PROP(RandomDelay, B) };
struct Triggers : Fake<ITriggerCollection> {
  COLLECTION(ITrigger)
  HRESULT STDMETHODCALLTYPE Create(TASK_TRIGGER_TYPE2 type, ITrigger** out) override {
    const HRESULT hr = Set(L"Create", Text(type));
    return type == TASK_TRIGGER_DAILY ? scheduler->HandOut<DailyTrigger>(hr, out, L"Trigger")
                                      : scheduler->HandOut<RegistrationTrigger>(hr, out, L"Trigger");
  }
};
struct ExecAction : Fake<IExecAction> {
  PROP(Id, B) UNUSED(get_Type, TASK_ACTION_TYPE*) PROP(Path, B) PROP(Arguments, B) PROP(WorkingDirectory, B)
};
struct Actions : Fake<IActionCollection> {
  COLLECTION(IAction) PROP(XmlText, B) PROP(Context, B)
  HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE type, IAction** out) override {
    return scheduler->HandOut<ExecAction>(Set(L"Create", Text(type)), out, L"ExecAction");
  }
};
struct Definition : Fake<ITaskDefinition> {
  CHILD(RegistrationInfo, IRegistrationInfo) CHILD(Principal, IPrincipal) CHILD(Settings, ITaskSettings)
  CHILD(Triggers, ITriggerCollection) CHILD(Actions, IActionCollection) PROP(Data, B) PROP(XmlText, B)
};
struct Folder : Fake<ITaskFolder> {
  UNUSED(get_Name, B*) UNUSED(get_Path, B*) UNUSED(GetFolder, B, ITaskFolder**) UNUSED(DeleteFolder, B, LONG)
  UNUSED(GetFolders, LONG, ITaskFolderCollection**) UNUSED(CreateFolder, B, VARIANT, ITaskFolder**)
  UNUSED(GetTask, B, IRegisteredTask**) UNUSED(GetTasks, LONG, IRegisteredTaskCollection**)
  UNUSED(RegisterTask, B, B, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT, IRegisteredTask**)
  UNUSED(GetSecurityDescriptor, LONG, B*) UNUSED(SetSecurityDescriptor, B, LONG)
  HRESULT STDMETHODCALLTYPE DeleteTask(B name, LONG flags) override { return Set(L"DeleteTask", Texts(name, flags)); }
  // Hands out no registered task.
  HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(B path, ITaskDefinition* task, LONG flags, VARIANT user,
                                                   VARIANT password, TASK_LOGON_TYPE logon, VARIANT sddl,
                                                   IRegisteredTask** registered) override {
    *registered = nullptr;
    const B which = const_cast<B>(task && task == scheduler->definition ? L"(the new task)" : L"(another)");
    return Set(L"RegisterTaskDefinition", Texts(path, which, flags, user, password, logon, sddl));
  }
};
struct Service : Fake<ITaskService> {
  UNUSED(GetRunningTasks, LONG, IRunningTaskCollection**) UNUSED(get_Connected, VB*) UNUSED(get_TargetServer, B*)
  UNUSED(get_ConnectedUser, B*) UNUSED(get_ConnectedDomain, B*) UNUSED(get_HighestVersion, DWORD*)
  HRESULT STDMETHODCALLTYPE Connect(VARIANT server, VARIANT user, VARIANT domain, VARIANT password) override {
    return Set(L"Connect", Texts(server, user, domain, password));
  }
  HRESULT STDMETHODCALLTYPE GetFolder(B path, ITaskFolder** out) override {
    return scheduler->HandOut<Folder>(Set(L"GetFolder", Text(path)), out, L"Folder");
  }
  HRESULT STDMETHODCALLTYPE NewTask(DWORD flags, ITaskDefinition** out) override {
    const HRESULT hr = scheduler->HandOut<Definition>(Set(L"NewTask", Text(flags)), out, L"Definition");
    scheduler->definition = *out;
    return hr;
  }
};

#undef UNUSED
#undef PROP
#undef CHILD
#undef COLLECTION

inline common::TaskSchedulerAccess Scheduler::Access() {
  return {[this] { return Call(L"CoInitializeSecurity"); },
          [this](ITaskService** out) { return HandOut<Service>(Call(L"CoCreateInstance"), out, L"Service"); }};
}

}  // namespace fake_scheduler

#endif  // TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_
