/// @file
/// Pinning a file to the taskbar or the Start menu, or unpinning it, through
/// the shell's pin verbs. Only on Windows 7 and later and only for files that
/// exist; the shell's answer is not examined and nothing is reported. A path
/// holding a NUL or of 260 characters or more does nothing.
#ifndef T_COMMON_PIN_H_
#define T_COMMON_PIN_H_

#include <string>

#include "t_common/export.h"

namespace common {

/// Runs the verb "taskbarpin" (pin true) or "taskbarunpin" (pin false) on the
/// file at the full path.
T_COMMON_API void PinToTaskBarShortCut(const std::wstring& path, bool pin);

/// Runs the verb "startpin" (pin true) or "startunpin" (pin false) on the file
/// at the full path.
T_COMMON_API void PinToStartMenuShortcut(const std::wstring& path, bool pin);

/// PinToStartMenuShortcut on the common Programs folder followed directly by
/// relativePath, which brings its own leading backslash.
T_COMMON_API void PinToStartMenu(const std::wstring& relativePath, bool pin);

}  // namespace common

#endif  // T_COMMON_PIN_H_
