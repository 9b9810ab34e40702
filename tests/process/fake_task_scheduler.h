// A recording stand-in for the Task Scheduler 2.0 objects that the task
// registration uses. One object class plays every part; its kind ("Service",
// "Folder", "Definition", "Principal", "Trigger", ...) names what it stands
// for. A call that sets something, or that the registration should never make,
// keeps its arguments as text under "Kind.method" (a null string as "(null)");
// a call named in `failures` returns that code instead, and a failed getter
// hands out nothing. Objects live as long as the scheduler; `references`
// counts those handed out and not yet released.
#ifndef TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_
#define TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_

#include <windows.h>
#include <taskschd.h>

#include <list>
#include <map>
#include <string>

#include "process/std_user_launch_internal.h"

namespace fake_scheduler {

inline std::wstring Text(BSTR text) { return text ? text : L"(null)"; }
inline std::wstring Text(long long number) { return std::to_wstring(number); }
inline std::wstring Text(const VARIANT& v) {
  return v.vt == VT_EMPTY ? L"(empty)" : v.vt == VT_BSTR ? L"\"" + Text(v.bstrVal) + L"\"" : L"(variant)";
}
template <typename First, typename... Rest>
std::wstring Texts(const First& first, const Rest&... rest) { return (Text(first) + ... + (L" " + Text(rest))); }

class Object;

struct Scheduler {
  // CoInitializeSecurity, and CoCreateInstance handing out the service.
  common::TaskSchedulerAccess Access();
  HRESULT Call(const std::wstring& name, const std::wstring* arguments = nullptr) {
    const auto failure = failures.find(name);
    if (failure != failures.end()) return failure->second;
    if (arguments) values[name] = *arguments;
    return S_OK;
  }
  // Unless hr failed, a new object of that kind as Interface.
  template <typename Interface, typename Out>
  HRESULT HandOut(HRESULT hr, Out** out, const wchar_t* kind);
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
  std::list<Object> objects;
};

// A method the registration never calls; a property whose setter keeps its
// value; a child object handed out by its getter.
#define METHOD HRESULT STDMETHODCALLTYPE
#define UNUSED(method, ...) METHOD method(__VA_ARGS__) override { return Set(L"" #method, L"(unused)"), E_NOTIMPL; }
#define PROP(name, Type) \
  UNUSED(get_##name, Type*) METHOD put_##name(Type value) override { return Set(L"put_" #name, Text(value)); }
#define CHILD(name, Type) UNUSED(put_##name, Type*) METHOD get_##name(Type** out) override { \
    return Give<Type>(scheduler->Call(kind + L".get_" #name), out, L"" #name); }
using B = BSTR;
using VB = VARIANT_BOOL;

class Object : public ITaskService, public ITaskFolder, public ITaskDefinition, public IRegistrationInfo,
               public IPrincipal, public ITaskSettings, public ITriggerCollection, public IRegistrationTrigger,
               public IDailyTrigger, public IRepetitionPattern, public IActionCollection, public IExecAction {
 public:
  Object(const wchar_t* kind, Scheduler* scheduler) : kind(kind), scheduler(scheduler) {}
  // A query for a trigger's or an action's own interface is the call
  // "Kind.QueryInterface", so that a test can refuse it.
  METHOD QueryInterface(REFIID iid, void** out) override {
    *out = iid == __uuidof(IRegistrationTrigger) ? static_cast<void*>(static_cast<IRegistrationTrigger*>(this))
         : iid == __uuidof(IDailyTrigger) ? static_cast<void*>(static_cast<IDailyTrigger*>(this))
         : iid == __uuidof(IExecAction) ? static_cast<IExecAction*>(this) : nullptr;
    const HRESULT hr = *out ? scheduler->Call(kind + L".QueryInterface") : E_NOINTERFACE;
    FAILED(hr) ? void(*out = nullptr) : void(AddRef());
    return hr;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++scheduler->references; }
  ULONG STDMETHODCALLTYPE Release() override { return --scheduler->references; }
  UNUSED(GetTypeInfoCount, UINT*) UNUSED(GetTypeInfo, UINT, LCID, ITypeInfo**)
  UNUSED(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
  UNUSED(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
  // ITaskService, ITaskFolder
  UNUSED(GetRunningTasks, LONG, IRunningTaskCollection**) UNUSED(get_Connected, VB*) UNUSED(get_TargetServer, B*)
  UNUSED(get_ConnectedUser, B*) UNUSED(get_ConnectedDomain, B*) UNUSED(get_HighestVersion, DWORD*) UNUSED(get_Name, B*)
  UNUSED(DeleteFolder, B, LONG) UNUSED(GetTask, B, IRegisteredTask**) UNUSED(GetFolders, LONG, ITaskFolderCollection**)
  UNUSED(CreateFolder, B, VARIANT, ITaskFolder**) UNUSED(GetTasks, LONG, IRegisteredTaskCollection**)
  UNUSED(RegisterTask, B, B, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT, IRegisteredTask**)
  UNUSED(GetSecurityDescriptor, LONG, B*) UNUSED(SetSecurityDescriptor, B, LONG)
  METHOD Connect(VARIANT server, VARIANT user, VARIANT domain, VARIANT pw) override {
    return Set(L"Connect", Texts(server, user, domain, pw));
  }
  METHOD GetFolder(B p, ITaskFolder** out) override { return Give<ITaskFolder>(Set(L"GetFolder", Text(p)), out, L"Folder"); }
  METHOD NewTask(DWORD flags, ITaskDefinition** out) override {
    const HRESULT hr = Give<ITaskDefinition>(Set(L"NewTask", Text(flags)), out, L"Definition");
    return scheduler->definition = *out, hr;
  }
  METHOD DeleteTask(B name, LONG flags) override { return Set(L"DeleteTask", Texts(name, flags)); }
  // Hands out no registered task.
  METHOD RegisterTaskDefinition(B path, ITaskDefinition* task, LONG flags, VARIANT user,
      VARIANT pw, TASK_LOGON_TYPE logon, VARIANT sddl, IRegisteredTask** registered) override {
    const B which = const_cast<B>(task && task == scheduler->definition ? L"(the new task)" : L"(another)");
    return *registered = nullptr, Set(L"RegisterTaskDefinition", Texts(path, which, flags, user, pw, logon, sddl));
  }
  // ITaskDefinition and its parts
  CHILD(RegistrationInfo, IRegistrationInfo) CHILD(Principal, IPrincipal) CHILD(Settings, ITaskSettings)
  CHILD(Triggers, ITriggerCollection) CHILD(Actions, IActionCollection) CHILD(Repetition, IRepetitionPattern)
  PROP(Data, B) PROP(XmlText, B) PROP(Description, B) PROP(Author, B) PROP(Version, B) PROP(Date, B) PROP(URI, B)
  PROP(Documentation, B) PROP(SecurityDescriptor, VARIANT) PROP(Source, B) PROP(Id, B) PROP(DisplayName, B)
  PROP(UserId, B) PROP(LogonType, TASK_LOGON_TYPE) PROP(GroupId, B) PROP(RunLevel, TASK_RUNLEVEL_TYPE) PROP(Hidden, VB)
  PROP(AllowDemandStart, VB) PROP(RestartInterval, B) PROP(RestartCount, INT) PROP(Priority, INT) PROP(Enabled, VB)
  PROP(MultipleInstances, TASK_INSTANCES_POLICY) PROP(StopIfGoingOnBatteries, VB) PROP(StartWhenAvailable, VB)
  PROP(DisallowStartIfOnBatteries, VB) PROP(AllowHardTerminate, VB) PROP(Compatibility, TASK_COMPATIBILITY)
  PROP(RunOnlyIfNetworkAvailable, VB) PROP(ExecutionTimeLimit, B) PROP(DeleteExpiredTaskAfter, B) PROP(WakeToRun, VB)
  UNUSED(get_IdleSettings, IIdleSettings**) UNUSED(put_IdleSettings, IIdleSettings*) PROP(RunOnlyIfIdle, VB)
  UNUSED(get_NetworkSettings, INetworkSettings**) UNUSED(put_NetworkSettings, INetworkSettings*) PROP(Delay, B)
  PROP(StartBoundary, B) PROP(EndBoundary, B) PROP(DaysInterval, short) PROP(RandomDelay, B) PROP(Interval, B)
  PROP(Duration, B) PROP(StopAtDurationEnd, VB) PROP(Context, B) PROP(Path, B) PROP(Arguments, B)
  PROP(WorkingDirectory, B) UNUSED(get_Type, TASK_TRIGGER_TYPE2*) UNUSED(get_Type, TASK_ACTION_TYPE*)
  // The trigger and action collections
  UNUSED(get_Count, LONG*) UNUSED(get_Item, LONG, ITrigger**) UNUSED(get_Item, LONG, IAction**)
  UNUSED(get__NewEnum, IUnknown**) UNUSED(Remove, VARIANT) UNUSED(Clear)
  METHOD Create(TASK_TRIGGER_TYPE2 type, ITrigger** out) override {
    const HRESULT hr = Set(L"Create", Text(type));
    return type == TASK_TRIGGER_DAILY ? Give<IDailyTrigger>(hr, out, L"Trigger")
                                      : Give<IRegistrationTrigger>(hr, out, L"Trigger");
  }
  METHOD Create(TASK_ACTION_TYPE type, IAction** out) override {
    return Give<IExecAction>(Set(L"Create", Text(type)), out, L"ExecAction");
  }

  std::wstring kind;
  Scheduler* scheduler;

 private:
  HRESULT Set(const wchar_t* method, const std::wstring& args) { return scheduler->Call(kind + L"." + method, &args); }
  template <typename Interface, typename Out>
  HRESULT Give(HRESULT hr, Out** out, const wchar_t* kind) { return scheduler->HandOut<Interface>(hr, out, kind); }
};

#undef METHOD
#undef UNUSED
#undef PROP
#undef CHILD

template <typename Interface, typename Out>
HRESULT Scheduler::HandOut(HRESULT hr, Out** out, const wchar_t* kind) {
  *out = FAILED(hr) ? nullptr : static_cast<Interface*>(&objects.emplace_back(kind, this));
  return *out ? (*out)->AddRef(), hr : hr;
}

inline common::TaskSchedulerAccess Scheduler::Access() {
  return {[this] { return Call(L"CoInitializeSecurity"); },
          [this](ITaskService** out) { return HandOut<ITaskService>(Call(L"CoCreateInstance"), out, L"Service"); }};
}

}  // namespace fake_scheduler

#endif  // TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_
