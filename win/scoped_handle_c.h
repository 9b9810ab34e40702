/* The plain-C form of win/scoped_handle.h, for t_base: a kernel handle that
   is closed when its variable leaves scope (GCC's cleanup attribute), keeping
   the thread's last error.

     WIN_SCOPED_HANDLE file = CreateFileW(...);  */
#ifndef WIN_SCOPED_HANDLE_C_H_
#define WIN_SCOPED_HANDLE_C_H_

#include <windows.h>

static inline void WinCloseHandleAtScopeExit(HANDLE* handle) {
  if (*handle != NULL && *handle != INVALID_HANDLE_VALUE) {
    DWORD last_error = GetLastError();
    CloseHandle(*handle);
    SetLastError(last_error);
  }
}

#define WIN_SCOPED_HANDLE HANDLE __attribute__((cleanup(WinCloseHandleAtScopeExit)))

#endif /* WIN_SCOPED_HANDLE_C_H_ */
