#include "sysinfo/fault_guard.h"

#include <windows.h>

#include <cstdint>

namespace common {
namespace {

// A fault never resumes a context captured by hand: on i686 RtlCaptureContext
// describes its caller's caller through EBP, which optimised code does not
// keep. The guard marks its resume point with GCC's __builtin_setjmp, which
// the compiler knows returns twice (it keeps the frame it needs and reloads
// every register after the second return), and the fault comes back there
// through __builtin_longjmp from Land.
struct GuardFrame {
  void* resume[5];  // __builtin_setjmp's buffer
  GuardFrame* outer;
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

// Where a faulting thread continues: back into Enter, on the same thread, so
// its own slot names the innermost guard.
[[noreturn]] void Land() {
  auto* frame = static_cast<GuardFrame*>(::TlsGetValue(GuardSlot()));
  __builtin_longjmp(frame->resume, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
  // Only the thread that owns a guard has a frame in its slot; TlsGetValue
  // neither allocates nor locks, so any thread may pass through here.
  if (!::TlsGetValue(GuardSlot()) || !IsFault(pointers->ExceptionRecord->ExceptionCode))
    return EXCEPTION_CONTINUE_SEARCH;
  // Land runs below the faulting frame (Windows has no red zone), its stack
  // aligned as right after a call.
  CONTEXT& context = *pointers->ContextRecord;
#if defined(__x86_64__)
  context.Rsp = (context.Rsp & ~std::uint64_t{15}) - 8;
  context.Rip = reinterpret_cast<std::uintptr_t>(&Land);
#else
  context.Esp = (context.Esp & ~DWORD{15}) - 4;
  context.Eip = reinterpret_cast<std::uintptr_t>(&Land);
#endif
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

// False when a fault in the body came back here. A function of its own, so
// that nothing of the caller's lives in registers across the second return.
__attribute__((noinline)) bool Enter(GuardFrame* frame, DWORD slot, void (*body)(void*), void* context) {
  if (__builtin_setjmp(frame->resume)) return false;
  ::TlsSetValue(slot, frame);
  body(context);
  return true;
}

}  // namespace

bool RunWithFaultGuard(void (*body)(void* context), void* context) {
  const DWORD slot = GuardSlot();
  if (slot == TLS_OUT_OF_INDEXES) return false;
  void* const handler = ::AddVectoredExceptionHandler(1, &OnException);
  if (!handler) return false;

  GuardFrame frame;
  frame.outer = static_cast<GuardFrame*>(::TlsGetValue(slot));
#if defined(__i386__)
  // Frames the body registered on the x86 SEH chain die with the body.
  EXCEPTION_REGISTRATION_RECORD* const exception_list = CurrentExceptionList();
#endif
  const bool completed = Enter(&frame, slot, body, context);
#if defined(__i386__)
  if (!completed) SetExceptionList(exception_list);
#endif
  ::TlsSetValue(slot, frame.outer);
  ::RemoveVectoredExceptionHandler(handler);
  return completed;
}

}  // namespace common
