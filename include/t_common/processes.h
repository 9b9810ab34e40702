/// @file
/// Finding running programs by executable name, bringing a program's window
/// to the front, ending every instance of a program, testing for a named
/// single-instance mutex, lifting a window to the top of the z-order and
/// adding or removing a window's taskbar button. Nothing is logged and no
/// state is kept. Names are compared with the file-name part of the argument,
/// so a full path and a bare name behave alike; a null name matches nothing.
#ifndef T_COMMON_PROCESSES_H_
#define T_COMMON_PROCESSES_H_

#include <windows.h>

#include "t_common/export.h"

namespace common {

/// Id of the first process, in the system's process list order, whose
/// executable file name equals the file-name part of name in any letter case;
/// 0 when none does or the list cannot be read.
T_COMMON_API unsigned long GetProcessID(const wchar_t* name);

/// True when a process's executable file name equals name exactly, letter
/// case included (a full path never matches).
T_COMMON_API bool CheckExeIsRunning(const wchar_t* name);

/// True when a mutex of that name already exists (see CreateAppMutex); the
/// test itself leaves no mutex behind.
T_COMMON_API bool IsAppExist(const wchar_t* name);

/// Ends the processes of that name, the first in list order each pass, for at
/// most 30 passes 100 ms apart (none when nothing matches). The caller itself
/// is not spared. Always true: search again to learn the outcome.
T_COMMON_API bool TerminateApp(const wchar_t* name);

/// Like TerminateApp, but a pass that meets the calling process ends nothing,
/// so processes of that name listed after the caller keep running. Always true.
T_COMMON_API bool TerminateAppIgnoreSelf(const wchar_t* name);

/// Brings the first top-level window of the first process of that name to the
/// foreground, restoring it when minimised. True when such a process runs,
/// whether or not it has a window.
T_COMMON_API bool ShowApp(const wchar_t* name);

/// Shows the window and lifts it to the top of the non-topmost windows, without
/// leaving it topmost, activating it or moving the keyboard focus.
T_COMMON_API void SetWindowTop(HWND window);

/// Adds (show) or removes the window's taskbar button through the shell's
/// taskbar list; does nothing when that object cannot be created. The calling
/// thread must have initialised COM.
T_COMMON_API void modifyTaskbar(HWND window, bool show);

}  // namespace common

#endif  // T_COMMON_PROCESSES_H_
