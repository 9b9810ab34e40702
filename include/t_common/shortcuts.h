/// @file
/// The client's shortcuts in the places Windows shows them: the desktop, Quick
/// Launch, the Start menu, a program folder of the Start menu and the taskbar.
/// The places shared by all users come from the machine's "Shell Folders" key
/// under HKEY_LOCAL_MACHINE, the per-user ones from the shell. Whether a kind
/// is made at all depends on the Windows version. Nothing reports a result:
/// a place that cannot be read, or a step the system refuses, leaves the call
/// without effect. A link file name is used unchanged (extension included) and
/// joined to its folder with one backslash, without checking for one already
/// there. A link name and a program-folder name must each be one plain name (no
/// separator, no "." or "..", nothing a file name cannot hold); a path handed to
/// the shell must be shorter than 260 characters; no string may hold a NUL.
/// Anything else makes the call do nothing.
#ifndef T_COMMON_SHORTCUTS_H_
#define T_COMMON_SHORTCUTS_H_

#include <string>

#include "t_common/export.h"

namespace common {

/// The shortcut places; any other value is accepted and does nothing.
enum LinkType {
  Desktop = 0,        ///< the desktop (the common desktop folder)
  QuickLaunch = 1,    ///< the current user's Quick Launch bar (Windows XP only)
  Startup = 2,        ///< the common Startup folder: only located, never written
  ProgramFolder = 3,  ///< a program folder of the client in the common Programs folder
  StartMenu = 4,      ///< the Start menu itself (not on Vista, 7 and 8)
  Taskbar = 5,        ///< the taskbar: an existing link pinned by the shell's verb
};

/// The current user's folder of a kind, without a trailing backslash: the
/// desktop, Quick Launch (application data + "\Microsoft\Internet
/// Explorer\Quick Launch") or the Start menu's Programs; empty for any other.
T_COMMON_API std::wstring GetFolder(LinkType type);

/// Replaces path with the folder in which links of the kind lie: the common
/// desktop (also for Taskbar), the user's Quick Launch, the common Startup,
/// the common Programs, the Start menu (the user's on XP, the common one
/// elsewhere); empty when it cannot be read.
T_COMMON_API void GetShortcutPath(LinkType type, std::wstring& path);

/// Creates (or, for Taskbar, pins) a link of the kind. Desktop, StartMenu,
/// QuickLaunch: s1 target, s2 link name. ProgramFolder: s1 target, s2 link
/// name, s3 arguments, s4 icon, s5 folder name ("Tessaquill" when empty).
/// Taskbar: s1 the folder of an existing link, s2 its name. Startup: nothing.
T_COMMON_API void CreateShortcut(LinkType type, std::wstring s1, std::wstring s2, std::wstring s3, std::wstring s4,
                                 std::wstring s5);

/// Removes a link of the kind: the file name in its place (Taskbar: in folder,
/// unpinned first), or for ProgramFolder the whole program folder
/// programFolder ("Tessaquill" when empty). Startup: nothing.
T_COMMON_API void DeleteShortcut(LinkType type, const std::wstring& folder, const std::wstring& name,
                                 std::wstring programFolder);

/// A link to target named name in the common desktop folder.
T_COMMON_API void CreateDesktopShortcut(const std::wstring& target, const std::wstring& name);

/// A link to target named name in the user's Quick Launch folder, whatever the version.
T_COMMON_API void CreateQucklaunchShortcut(const std::wstring& target, const std::wstring& name);

/// A link to target named name in the common Start menu (its 32-bit view on
/// 64-bit Windows); nothing on Vista, 7, 8 or an unknown version.
T_COMMON_API void CreateStartMenuShortcut(const std::wstring& target, const std::wstring& name);

/// Asks the shell to pin folder\name to the taskbar (verb "TaskbarPin") when
/// that file exists.
T_COMMON_API void CreateTaskbarShortcut(const std::wstring& folder, const std::wstring& name);

/// Creates the folder common Programs + programFolder (exactly a backslash, one
/// plain name and a backslash, e.g. "\Tessaquill\") and in it a link to target
/// named name with the arguments and icon. A folder made for a link that could
/// not be written is removed again.
T_COMMON_API void CreateStartMenuProgramFolder(const std::wstring& programFolder, const std::wstring& target,
                                               const std::wstring& name, const std::wstring& args,
                                               const std::wstring& icon);

/// Deletes the link named name from the user's Quick Launch folder.
T_COMMON_API void DeleteQuicklaunchShortcut(const std::wstring& name);

/// Asks the shell to unpin folder\name from the taskbar (verb "TaskbarunPin"),
/// then deletes that file whatever the shell answered; nothing at all when the
/// path has 260 characters or more.
T_COMMON_API void DeleteTaskbarShortcut(const std::wstring& folder, const std::wstring& name);

/// Deletes the program folder programFolder ("Tessaquill" when empty) of the
/// common Programs folder with everything in it, at once (not to the Recycle Bin).
T_COMMON_API void DeleteStartMenuProgramFolder(std::wstring programFolder);

}  // namespace common

#endif  // T_COMMON_SHORTCUTS_H_
