#include "sysinfo/fault_guard.h"

#include <windows.h>

namespace common {
namespace {

// RtlCaptureContext returns a second time when the handler resumes this
// context after a fault; faulted tells the two returns apart.
struct GuardFrame {
  CONTEXT resume;
  volatile LONG faulted;
  GuardFrame* outer;
#if defined(__i386__)
  // Frames the body registered on the x86 SEH chain die with the body.
  EXCEPTION_REGISTRATION_RECORD* exception_list;
#endif
};

DWORD GuardSlot() {
  static const DWORD slot = ::TlsAlloc();
  return slot;
}

bool IsFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
      return true;
    default:
      return false;
  }
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
  // Only the thread that owns a guard has a frame in its slot; TlsGetValue
  // neither allocates nor locks, so any thread may pass through here.
  auto* frame = static_cast<GuardFrame*>(::TlsGetValue(GuardSlot()));
  if (!frame || !IsFault(pointers->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  frame->faulted = 1;
  *pointers->ContextRecord = frame->resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

#if defined(__i386__)
// The head of the SEH chain, NT_TIB.ExceptionList at fs:[0].
EXCEPTION_REGISTRATION_RECORD* CurrentExceptionList() {
  EXCEPTION_REGISTRATION_RECORD* list;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(list));
  return list;
}
void SetExceptionList(EXCEPTION_REGISTRATION_RECORD* list) {
  __asm__ volatile("movl %0, %%fs:0" : : "r"(list) : "memory");
}
#endif

}  // namespace

bool RunWithFaultGuard(void (*body)(void* context), void* context) {
  const DWORD slot = GuardSlot();
  if (slot == TLS_OUT_OF_INDEXES) return false;
  void* const handler = ::AddVectoredExceptionHandler(1, &OnException);
  if (!handler) return false;

  GuardFrame frame;
  frame.faulted = 0;
  frame.outer = static_cast<GuardFrame*>(::TlsGetValue(slot));
#if defined(__i386__)
  frame.exception_list = CurrentExceptionList();
#endif
  ::RtlCaptureContext(&frame.resume);
  if (!frame.faulted) {
    ::TlsSetValue(slot, &frame);
    body(context);
  } else {
#if defined(__i386__)
    SetExceptionList(frame.exception_list);
#endif
  }
  ::TlsSetValue(slot, frame.outer);
  ::RemoveVectoredExceptionHandler(handler);
  return !frame.faulted;
}

}  // namespace common
