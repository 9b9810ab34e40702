// A recording stand-in for the Task Scheduler 2.0 objects that the task
// registration uses. Every call is logged in order as "Object.Method", every
// value set is kept as text under "Object.Property" (a null string as
// "(null)"), and a call named in `failures` returns that code instead (a
// failed getter hands out nothing). The scheduler owns every object it made
// and keeps one reference to each; Release never frees, so an extra release
// shows as a count below one instead of a crash.
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

class Counted {
 public:
  explicit Counted(std::wstring kind) : kind_(std::move(kind)) {}
  virtual ~Counted() = default;
  const std::wstring& kind() const { return kind_; }
  long references() const { return references_; }

 protected:
  std::wstring kind_;
  long references_ = 1;
};

class Scheduler {
 public:
  Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // CoInitializeSecurity and CoCreateInstance as the calls "CoInitializeSecurity"
  // and "CoCreateInstance", the latter handing out the fake service.
  common::TaskSchedulerAccess Access();

  // Logs the call and returns its injected result (S_OK by default).
  HRESULT Call(const std::wstring& name);
  // Call, keeping the value when the call succeeds.
  HRESULT Set(const std::wstring& name, const std::wstring& value);
  // Every object whose count is not back at the scheduler's own reference, as
  // "Kind=count".
  std::vector<std::wstring> Unbalanced() const;

  template <typename T, typename... Args>
  T* Make(Args&&... args) {
    auto object = std::make_unique<T>(this, std::forward<Args>(args)...);
    T* made = object.get();
    objects_.push_back(std::move(object));
    return made;
  }

  std::vector<std::wstring> calls;
  std::map<std::wstring, std::wstring> values;
  std::map<std::wstring, HRESULT> failures;
  ITaskDefinition* definition = nullptr;  // the last one NewTask made

 private:
  std::vector<std::unique_ptr<Counted>> objects_;
  ITaskService* service_ = nullptr;
};

// IUnknown and IDispatch for a fake implementing Interface (and the interfaces
// it derives from, Bases). A query for Interface itself counts as the call
// "Kind.QueryInterface", so that a test can refuse it.
template <typename Interface, typename... Bases>
class Fake : public Interface, public Counted {
 public:
  Fake(Scheduler* scheduler, const wchar_t* kind) : Counted(kind), scheduler_(scheduler) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == __uuidof(Interface)) {
      const HRESULT refused = scheduler_->Call(kind_ + L".QueryInterface");
      if (FAILED(refused)) return refused;
    } else if (iid != IID_IUnknown && iid != IID_IDispatch && !((iid == __uuidof(Bases)) || ...)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 protected:
  HRESULT Call(const wchar_t* method) { return scheduler_->Call(kind_ + L"." + method); }
  HRESULT Set(const wchar_t* property, const std::wstring& value) {
    return scheduler_->Set(kind_ + L"." + property, value);
  }
  HRESULT Unused(const wchar_t* method) {
    Call(method);
    return E_NOTIMPL;
  }
  // A getter: the object with a new reference, unless the call is failed.
  template <typename Out>
  HRESULT HandOut(const wchar_t* method, Out* object, Out** out) {
    *out = nullptr;
    const HRESULT hr = Call(method);
    if (FAILED(hr)) return hr;
    object->AddRef();
    *out = object;
    return hr;
  }

  Scheduler* scheduler_;
};

std::wstring Text(BSTR text);
std::wstring Describe(const VARIANT& value);

#define FAKE_UNUSED(method, ...) \
  HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return this->Unused(L"" #method); }
#define FAKE_TEXT(property) \
  FAKE_UNUSED(get_##property, BSTR*) \
  HRESULT STDMETHODCALLTYPE put_##property(BSTR value) override { return this->Set(L"" #property, Text(value)); }
#define FAKE_NUMBER(property, Type) \
  FAKE_UNUSED(get_##property, Type*) \
  HRESULT STDMETHODCALLTYPE put_##property(Type value) override { \
    return this->Set(L"" #property, std::to_wstring(value)); \
  }
#define FAKE_OBJECT(property, Type) FAKE_UNUSED(get_##property, Type**) FAKE_UNUSED(put_##property, Type*)

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
template <typename Interface, typename... Bases>
class TriggerBase : public Fake<Interface, Bases...> {
 public:
  explicit TriggerBase(Scheduler* scheduler) : Fake<Interface, Bases...>(scheduler, L"Trigger") {}
  FAKE_UNUSED(get_Type, TASK_TRIGGER_TYPE2*) FAKE_TEXT(Id) FAKE_UNUSED(put_Repetition, IRepetitionPattern*)
  FAKE_TEXT(ExecutionTimeLimit) FAKE_TEXT(StartBoundary) FAKE_TEXT(EndBoundary) FAKE_NUMBER(Enabled, VARIANT_BOOL)
  HRESULT STDMETHODCALLTYPE get_Repetition(IRepetitionPattern** out) override {
    if (!repetition_) repetition_ = this->scheduler_->template Make<Repetition>();
    return this->HandOut(L"get_Repetition", static_cast<IRepetitionPattern*>(repetition_), out);
  }

 private:
  Repetition* repetition_ = nullptr;
};

class RegistrationTrigger : public TriggerBase<IRegistrationTrigger, ITrigger> {
 public:
  using TriggerBase::TriggerBase;
  FAKE_TEXT(Delay)
};

class DailyTrigger : public TriggerBase<IDailyTrigger, ITrigger> {
 public:
  using TriggerBase::TriggerBase;
  FAKE_NUMBER(DaysInterval, short) FAKE_TEXT(RandomDelay)
};

class Triggers : public Fake<ITriggerCollection> {
 public:
  explicit Triggers(Scheduler* scheduler) : Fake(scheduler, L"Triggers") {}
  FAKE_UNUSED(get_Count, LONG*) FAKE_UNUSED(get_Item, LONG, ITrigger**) FAKE_UNUSED(get__NewEnum, IUnknown**)
  FAKE_UNUSED(Remove, VARIANT) FAKE_UNUSED(Clear)
  // The two types the registration knows; any other is a plain trigger.
  HRESULT STDMETHODCALLTYPE Create(TASK_TRIGGER_TYPE2 type, ITrigger** out) override;
};

class ExecAction : public Fake<IExecAction, IAction> {
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
  HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE type, IAction** out) override;
};

class Definition : public Fake<ITaskDefinition> {
 public:
  explicit Definition(Scheduler* scheduler);
  FAKE_UNUSED(put_RegistrationInfo, IRegistrationInfo*) FAKE_UNUSED(put_Triggers, ITriggerCollection*)
  FAKE_UNUSED(put_Settings, ITaskSettings*) FAKE_UNUSED(put_Principal, IPrincipal*)
  FAKE_UNUSED(put_Actions, IActionCollection*) FAKE_TEXT(Data) FAKE_TEXT(XmlText)
  HRESULT STDMETHODCALLTYPE get_RegistrationInfo(IRegistrationInfo** out) override {
    return HandOut(L"get_RegistrationInfo", static_cast<IRegistrationInfo*>(registration_info_), out);
  }
  HRESULT STDMETHODCALLTYPE get_Principal(IPrincipal** out) override {
    return HandOut(L"get_Principal", static_cast<IPrincipal*>(principal_), out);
  }
  HRESULT STDMETHODCALLTYPE get_Settings(ITaskSettings** out) override {
    return HandOut(L"get_Settings", static_cast<ITaskSettings*>(settings_), out);
  }
  HRESULT STDMETHODCALLTYPE get_Triggers(ITriggerCollection** out) override {
    return HandOut(L"get_Triggers", static_cast<ITriggerCollection*>(triggers_), out);
  }
  HRESULT STDMETHODCALLTYPE get_Actions(IActionCollection** out) override {
    return HandOut(L"get_Actions", static_cast<IActionCollection*>(actions_), out);
  }

 private:
  RegistrationInfo* registration_info_;
  Principal* principal_;
  Settings* settings_;
  Triggers* triggers_;
  Actions* actions_;
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
                                                   IRegisteredTask** task) override;
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
  HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** out) override;
  HRESULT STDMETHODCALLTYPE NewTask(DWORD flags, ITaskDefinition** out) override;
};

#undef FAKE_UNUSED
#undef FAKE_TEXT
#undef FAKE_NUMBER
#undef FAKE_OBJECT

}  // namespace fake_scheduler

#endif  // TESTS_PROCESS_FAKE_TASK_SCHEDULER_H_
