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

class Object;

class Scheduler {
 public:
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

 private:
  std::vector<std::shared_ptr<Object>> objects_;
};

// A method the registration never calls; a property whose setter keeps its
// value; a child object handed out by its getter.
#define UNUSED(method, ...) \
  HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return Set(L"" #method, L"(unused)"), E_NOTIMPL; }
#define PROP(name, Type) \
  UNUSED(get_##name, Type*) \
  HRESULT STDMETHODCALLTYPE put_##name(Type value) override { return Set(L"put_" #name, Text(value)); }
#define CHILD(name, Type) \
  UNUSED(put_##name, Type*) \
  HRESULT STDMETHODCALLTYPE get_##name(Type** out) override { \
    return scheduler->HandOut<Type>(scheduler->Call(kind + L".get_" #name), out, L"" #name); \
  }
using B = BSTR;
using VB = VARIANT_BOOL;

class Object : public ITaskService, public ITaskFolder, public ITaskDefinition, public IRegistrationInfo,
               public IPrincipal, public ITaskSettings, public ITriggerCollection, public IRegistrationTrigger,
               public IDailyTrigger, public IRepetitionPattern, public IActionCollection, public IExecAction {
 public:
  // A query for a trigger's or an action's own interface is the call
  // "Kind.QueryInterface", so that a test can refuse it.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == __uuidof(IRegistrationTrigger)) *out = static_cast<IRegistrationTrigger*>(this);
    if (iid == __uuidof(IDailyTrigger)) *out = static_cast<IDailyTrigger*>(this);
    if (iid == __uuidof(IExecAction)) *out = static_cast<IExecAction*>(this);
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
  UNUSED(get_ConnectedUser, B*) UNUSED(get_ConnectedDomain, B*) UNUSED(get_HighestVersion, DWORD*)
  UNUSED(get_Name, B*) UNUSED(DeleteFolder, B, LONG) UNUSED(GetTask, B, IRegisteredTask**)
  UNUSED(GetFolders, LONG, ITaskFolderCollection**) UNUSED(CreateFolder, B, VARIANT, ITaskFolder**)
  UNUSED(GetTasks, LONG, IRegisteredTaskCollection**) UNUSED(GetSecurityDescriptor, LONG, B*)
  UNUSED(RegisterTask, B, B, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT, IRegisteredTask**)
  UNUSED(SetSecurityDescriptor, B, LONG)
  HRESULT STDMETHODCALLTYPE Connect(VARIANT server, VARIANT user, VARIANT domain, VARIANT password) override {
    return Set(L"Connect", Texts(server, user, domain, password));
  }
  HRESULT STDMETHODCALLTYPE GetFolder(B path, ITaskFolder** out) override {
    return scheduler->HandOut<ITaskFolder>(Set(L"GetFolder", Text(path)), out, L"Folder");
  }
  HRESULT STDMETHODCALLTYPE NewTask(DWORD flags, ITaskDefinition** out) override {
    const HRESULT hr = scheduler->HandOut<ITaskDefinition>(Set(L"NewTask", Text(flags)), out, L"Definition");
    scheduler->definition = *out;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE DeleteTask(B name, LONG flags) override { return Set(L"DeleteTask", Texts(name, flags)); }
  // Hands out no registered task.
  HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(B path, ITaskDefinition* task, LONG flags, VARIANT user,
                                                   VARIANT password, TASK_LOGON_TYPE logon, VARIANT sddl,
                                                   IRegisteredTask** registered) override {
    *registered = nullptr;
    const B which = const_cast<B>(task && task == scheduler->definition ? L"(the new task)" : L"(another)");
    return Set(L"RegisterTaskDefinition", Texts(path, which, flags, user, password, logon, sddl));
  }

  // ITaskDefinition and its parts
  CHILD(RegistrationInfo, IRegistrationInfo) CHILD(Principal, IPrincipal) CHILD(Settings, ITaskSettings)
  CHILD(Triggers, ITriggerCollection) CHILD(Actions, IActionCollection) CHILD(Repetition, IRepetitionPattern)
  PROP(Data, B) PROP(XmlText, B) PROP(Description, B) PROP(Author, B) PROP(Version, B) PROP(Date, B) PROP(URI, B)
  PROP(Documentation, B) PROP(SecurityDescriptor, VARIANT) PROP(Source, B) PROP(Id, B) PROP(DisplayName, B)
  PROP(UserId, B) PROP(LogonType, TASK_LOGON_TYPE) PROP(GroupId, B) PROP(RunLevel, TASK_RUNLEVEL_TYPE)
  PROP(AllowDemandStart, VB) PROP(RestartInterval, B) PROP(RestartCount, INT) PROP(Priority, INT) PROP(Hidden, VB)
  PROP(MultipleInstances, TASK_INSTANCES_POLICY) PROP(StopIfGoingOnBatteries, VB) PROP(Enabled, VB)
  PROP(DisallowStartIfOnBatteries, VB) PROP(AllowHardTerminate, VB) PROP(StartWhenAvailable, VB)
  PROP(RunOnlyIfNetworkAvailable, VB) PROP(ExecutionTimeLimit, B) PROP(DeleteExpiredTaskAfter, B)
  PROP(Compatibility, TASK_COMPATIBILITY) PROP(RunOnlyIfIdle, VB) PROP(WakeToRun, VB)
  UNUSED(get_IdleSettings, IIdleSettings**) UNUSED(put_IdleSettings, IIdleSettings*)
  UNUSED(get_NetworkSettings, INetworkSettings**) UNUSED(put_NetworkSettings, INetworkSettings*)
  PROP(StartBoundary, B) PROP(EndBoundary, B) PROP(Delay, B) PROP(DaysInterval, short) PROP(RandomDelay, B)
  PROP(Interval, B) PROP(Duration, B) PROP(StopAtDurationEnd, VB) PROP(Context, B) PROP(Path, B)
  PROP(Arguments, B) PROP(WorkingDirectory, B) UNUSED(get_Type, TASK_TRIGGER_TYPE2*) UNUSED(get_Type, TASK_ACTION_TYPE*)

  // The trigger and action collections
  UNUSED(get_Count, LONG*) UNUSED(get_Item, LONG, ITrigger**) UNUSED(get_Item, LONG, IAction**)
  UNUSED(get__NewEnum, IUnknown**) UNUSED(Remove, VARIANT) UNUSED(Clear)
  HRESULT STDMETHODCALLTYPE Create(TASK_TRIGGER_TYPE2 type, ITrigger** out) override {
    const HRESULT hr = Set(L"Create", Text(type));
    return type == TASK_TRIGGER_DAILY ? scheduler->HandOut<IDailyTrigger>(hr, out, L"Trigger")
                                      : scheduler->HandOut<IRegistrationTrigger>(hr, out, L"Trigger");
  }
  HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE type, IAction** out) override {
    return scheduler->HandOut<IExecAction>(Set(L"Create", Text(type)), out, L"ExecAction");
  }

  std::wstring kind;
  Scheduler* scheduler = nullptr;

 private:
  HRESULT Set(const wchar_t* method, const std::wstring& arguments) {
    return scheduler->Call(kind + L"." + method, &arguments);
  }
};

#undef UNUSED
#undef PROP
#undef CHILD

template <typename Interface, typename Out>
HRESULT Scheduler::HandOut(HRESULT hr, Out** out, const wchar_t* kind) {
  *out = nullptr;
  if (FAILED(hr)) return hr;
  objects_.push_back(std::make_shared<Object>());
  objects_.back()->kind = kind;
  objects_.back()->scheduler = this;
  *out = static_cast<Interface*>(objects_.back().get());
  (*out)->AddRef();
  return hr;
}

inline common::TaskSchedulerAccess Scheduler::Access() {
  return {[this] { return Call(L"CoInitializeSecurity"); },
          [this](ITaskService** out) { return HandOut<ITaskService>(Call(L"CoCreateInstance"), out, L"Service"); }};
}

}  // namespace fake_scheduler

#endif  // TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_
