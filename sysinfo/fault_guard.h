// Structured-exception guard for mingw-w64, which has no __try/__except.
//
// RunWithFaultGuard runs body(context) on the calling thread. A processor fault
// inside it (access violation, in-page error, illegal or privileged
// instruction, misalignment, integer division by zero or overflow) abandons the
// body where it stood and the call returns false; whatever the body wrote
// before stays. Other exceptions (C++ ones included) pass through untouched.
// Guards nest and several threads may use them at once. The abandoned frames
// are not unwound, so the body must own nothing that needs releasing and must
// not rely on exception handling of its own for faults.
#ifndef SYSINFO_FAULT_GUARD_H_
#define SYSINFO_FAULT_GUARD_H_


namespace common {

bool RunWithFaultGuard(void (*body)(void* context), void* context);

}  // namespace common

#endif  // SYSINFO_FAULT_GUARD_H_
