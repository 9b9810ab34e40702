/// @file
/// Starting a program with a standard user's rights, also from an elevated
/// caller: on Windows Vista and later through a task of the Windows Task
/// Scheduler ("Tessaquill RunAsStdUser" in its root folder) that runs the
/// program in the interactive user's session, unelevated, as soon as it is
/// registered; on older systems directly through the shell. Every failing step
/// of the registration is written to the program log.
#ifndef T_COMMON_STD_USER_LAUNCH_H_
#define T_COMMON_STD_USER_LAUNCH_H_

#include "t_common/export.h"

namespace common {

/// Starts the program at @p path with @p parameters (may be null) as a
/// standard user. On Vista and later the calling thread must have initialised
/// COM; the task of an earlier call is replaced. True when the task was
/// registered (the scheduler then starts the program on its own) or, before
/// Vista, when the shell accepted the start (shown normally, not waited for);
/// false otherwise, with the failing step in the program log. Throws
/// `_com_error` (comdef.h) with `E_OUTOFMEMORY` when a COM string cannot be
/// allocated.
T_COMMON_API bool RunAsStdUser(const wchar_t* path, const wchar_t* parameters);

}  // namespace common

#endif  // T_COMMON_STD_USER_LAUNCH_H_
