// The task registration behind RunAsStdUser, and the seam through which tests
// give it a task scheduler of their own.
#ifndef PROCESS_STD_USER_LAUNCH_INTERNAL_H_
#define PROCESS_STD_USER_LAUNCH_INTERNAL_H_

#include <windows.h>
#include <taskschd.h>

#include <functional>

// mingw's taskschd.h has no registration trigger.
#ifndef __IRegistrationTrigger_INTERFACE_DEFINED__
#define __IRegistrationTrigger_INTERFACE_DEFINED__
MIDL_INTERFACE("4c8fec3a-c218-4e0c-b23d-629024db91a2")
IRegistrationTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
};
__CRT_UUID_DECL(IRegistrationTrigger, 0x4c8fec3a, 0xc218, 0x4e0c, 0xb2, 0x3d, 0x62, 0x90, 0x24, 0xdb, 0x91, 0xa2)
#endif

namespace common {

// Registers (replacing any task of that name) a task in the scheduler's root
// folder that runs path with parameters (may be null) as the interactive
// user, unelevated. trigger_type TASK_TRIGGER_REGISTRATION: trigger_value is
// the delay in seconds after registration; TASK_TRIGGER_DAILY: every day from
// now for a year, repeated every trigger_value minutes when that lies in
// 2..1440. The calling thread must have initialised COM. False when a step
// failed, which the program log names; throws _com_error(E_OUTOFMEMORY) when
// a COM string cannot be allocated.
bool RegisterLaunchTask(const wchar_t* task_name, const wchar_t* path, const wchar_t* parameters,
                        int trigger_value, int trigger_type);

// What RegisterLaunchTask asks of COM before it talks to the scheduler.
struct TaskSchedulerAccess {
  std::function<HRESULT()> initialize_security;  // CoInitializeSecurity for the process
  std::function<HRESULT(ITaskService** service)> create_service;
};

// Makes RegisterLaunchTask use access instead of COM until it goes out of
// scope. For tests; not to be changed while RegisterLaunchTask runs.
class ScopedTaskSchedulerAccess {
 public:
  explicit ScopedTaskSchedulerAccess(TaskSchedulerAccess access);
  ~ScopedTaskSchedulerAccess();
  ScopedTaskSchedulerAccess(const ScopedTaskSchedulerAccess&) = delete;
  ScopedTaskSchedulerAccess& operator=(const ScopedTaskSchedulerAccess&) = delete;

 private:
  TaskSchedulerAccess access_;
  const TaskSchedulerAccess* previous_;
};

}  // namespace common

#endif  // PROCESS_STD_USER_LAUNCH_INTERNAL_H_
