/// @file
/// Acting on the calling process and the machine: a watchdog that ends the
/// process after a delay unless cancelled, removal of the calling program (or
/// its folder) after it exits, a machine-wide single-instance mutex (tested by
/// IsAppExist in processes.h) and a forced restart of Windows.
#ifndef T_COMMON_SELF_MANAGEMENT_H_
#define T_COMMON_SELF_MANAGEMENT_H_

#include "t_common/export.h"

namespace common {

/// Starts a watchdog thread that, after delay_ms milliseconds (taken unsigned,
/// so -1 waits for ever), ends the whole process at once with exit code -1
/// (0xFFFFFFFF), running no clean-up. It sends "_ExitMoniterThread begin<tid><tick>"
/// and "_ExitMoniterThread end<tid><tick>" to the debugger. Returns the thread
/// handle, owned by the caller (give it to CancelTerminateSelf), or null when
/// no thread could be started. Each call starts a further, independent watchdog.
T_COMMON_API void* ForceTerminateSelf(int delay_ms);

/// For a handle that ForceTerminateSelf returned and that was not cancelled
/// yet: sends "Cancel Moniter" to the debugger, has the watchdog thread end
/// itself and closes the handle; the process goes on. Other watchdogs keep
/// running. Any other value (null, a pseudo-handle, another thread's or
/// object's handle, a handle cancelled before) is left alone: nothing is sent,
/// ended or closed.
T_COMMON_API void CancelTerminateSelf(void* watchdog);

/// Has the command interpreter (COMSPEC, started hidden in the system folder)
/// delete the calling program's executable, or with whole_folder its folder
/// and everything in it, once the program has exited; raises the calling
/// process to real-time priority and the interpreter to idle. The command
/// tries again every second until the program (or folder) is gone, for about
/// 30 s: a caller that exits within that time is removed. Does nothing for a
/// program in the root of a drive (with whole_folder) or without COMSPEC.
T_COMMON_API void DelSelf(bool whole_folder);

/// Creates the named mutex with a null DACL (any user and integrity level can
/// open it). Returns its handle, owned by the caller for the life of the
/// process, or null when the mutex already existed, could not be created or
/// the name is null or empty.
T_COMMON_API void* CreateAppMutex(const wchar_t* name);

/// Enables the shutdown privilege and restarts Windows at once, closing
/// applications without asking them to save. Nonzero when the restart was
/// started; 0 when the privilege is not held or the restart was refused.
T_COMMON_API int RebootSystem();

}  // namespace common

#endif  // T_COMMON_SELF_MANAGEMENT_H_
