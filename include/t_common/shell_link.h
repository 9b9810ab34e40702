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
/// An existing link is replaced; a missing folder is not created.
/// @return true when every step that ran succeeded and the file was saved.
T_COMMON_API bool CreateLinkIcon(const std::wstring& sDstFile, const std::wstring& sSavePath,
                                 const std::wstring& sParam, const std::wstring& sIcon, const std::wstring& sDec);

}  // namespace common

#endif  // T_COMMON_SHELL_LINK_H_
