/// @file
/// The shell link writer: one shortcut file (.lnk) from a target, a save path,
/// arguments, an icon and a description. Every shortcut of shortcuts.h is
/// written through it.
#ifndef T_COMMON_SHELL_LINK_H_
#define T_COMMON_SHELL_LINK_H_

#include <string>

#include "t_common/export.h"

namespace common {

/// Writes the link file sSavePath (extension included) that starts sDstFile.
/// In sDstFile, sIcon and sSavePath (copies; the caller's strings are kept)
/// each pair of backslashes becomes one, then each forward slash a backslash.
/// The working folder is the target's folder; empty sParam, sIcon and sDec
/// set nothing. Each step is logged to the program log, and a failing one with
/// its HRESULT. COM is brought up for the call only when the thread had none.
/// An existing shell link is replaced; any other file, or a folder, at
/// sSavePath gives false and is left alone. A missing folder is not created.
/// Refused before anything is written (false): a NUL in any string, a target
/// whose full path has 260 characters or more or that holds a quote (a pair
/// around it is dropped), and arguments, icon or description of more than
/// 32,766 characters, which the link would not hold as given.
/// @return true when every step that ran succeeded and the file was saved.
T_COMMON_API bool CreateLinkIcon(const std::wstring& sDstFile, const std::wstring& sSavePath,
                                 const std::wstring& sParam, const std::wstring& sIcon, const std::wstring& sDec);

}  // namespace common

#endif  // T_COMMON_SHELL_LINK_H_
