/// @file
/// Turns a configured path with a placeholder into a path on this machine, in place.
///
/// @verbatim
///   ^%ProgramData%\rest (alias 257)  the ProgramData variable, or with
///                                    data_from_shell the shell's common
///                                    application-data folder
///   ^%ProgramFile%\rest (alias 258)  the program-files folder, the 32-bit one
///                                    with x86_program_files
///   ^%other%\rest                    \rest (unknown names are removed)
///   %firefox%...                     <local app data>\Mozilla\Firefox\<Profile0
///                                    path>\cache (the rest is dropped)
///   %VAR%...                         environment expansion; undefined stays
/// @endverbatim
/// Anything else is left as it is, and so are a path holding a NUL and an
/// expansion that would need more than 520 characters (never a cut path).
#ifndef T_COMMON_PATH_PLACEHOLDERS_H_
#define T_COMMON_PATH_PLACEHOLDERS_H_

#include <string>

#include "t_common/export.h"

namespace common {

/// Converts the placeholder of path in place, as above.
T_COMMON_API void EnvironmentPathConver(std::wstring& path, bool data_from_shell, bool x86_program_files);

}  // namespace common

#endif  // T_COMMON_PATH_PLACEHOLDERS_H_
