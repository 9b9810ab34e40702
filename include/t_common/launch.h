/// @file
/// Starting another program from its path and an optional parameter string:
/// through the shell with the "open" verb, through the shell with elevation
/// where the caller lacks it, or directly as a child process. Each can block
/// until the program ends; none keeps state or logs. The started program's
/// working folder is the folder of the given path (a bare file name runs in
/// the caller's current folder).
#ifndef T_COMMON_LAUNCH_H_
#define T_COMMON_LAUNCH_H_

#include <windows.h>

#include "t_common/export.h"

namespace common {

/// Opens a program or document through the shell ("open" verb), shown normally
/// or hidden. With wait, blocks without a time limit until the started process
/// ends (at once when the shell handed the request to a running program). True
/// when the shell accepted the request. False for a null or empty path, for a
/// path of MAX_PATH (260) characters or more (last error
/// ERROR_FILENAME_EXCED_RANGE), or when the shell refused, which it does at
/// once with its error (ERROR_FILE_NOT_FOUND for a missing program), never
/// with a message box.
T_COMMON_API bool ExecuteExe(const wchar_t* path, const wchar_t* parameters, bool wait, bool show);

/// Like ExecuteExe, always shown normally, with the "runas" verb on Windows
/// Vista or later when the caller is not an administrator (the shell then asks
/// for elevation; declining makes the call fail), else the file's default verb.
/// Refuses what ExecuteExe refuses, in the same way.
T_COMMON_API bool ExecuteExeAsAdmin(const wchar_t* path, const wchar_t* parameters, bool wait);

/// Starts an executable as a child process with CreateProcessW (no search
/// path). The command line is "\"path\" parameters", or empty when parameters
/// is null. show_command is an SW_ value; SW_SHOWDEFAULT (10) passes no show
/// state. False for a null or empty path, for a path of MAX_PATH (260)
/// characters or more (last error ERROR_FILENAME_EXCED_RANGE), or when the
/// process could not be created.
T_COMMON_API bool LauncherApp(const wchar_t* path, const wchar_t* parameters, bool wait, DWORD show_command);

}  // namespace common

#endif  // T_COMMON_LAUNCH_H_
