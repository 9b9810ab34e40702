// What the shortcut and pin functions share: the machine's shell folders, the
// folder-and-name join, the shell verb call, and the Windows-version rules
// that decide which shortcuts are made. The rules are pure, so tests can ask
// them about versions (an unknown one included) that no prefix reports.
#ifndef SHELL_SHELL_FOLDERS_H_
#define SHELL_SHELL_FOLDERS_H_

#include <windows.h>

#include <string>

namespace common {

// A value of the machine's "Shell Folders" key under HKEY_LOCAL_MACHINE
// (name null: the unnamed one), read through a
// 1,024-byte buffer; view adds KEY_WOW64_32KEY or nothing to KEY_READ.
// Empty when the key or value cannot be read.
std::wstring ReadMachineShellFolder(const wchar_t* name, REGSAM view = 0);

// The view the Start menu's links are read from: the 32-bit one on 64-bit Windows.
REGSAM StartMenuView();

// folder + "\" + name, without looking for a backslash already there.
std::wstring JoinFolderAndName(const std::wstring& folder, const std::wstring& name);

// ShellExecuteW(no window, verb, file, no parameters, no folder, SW_HIDE); the
// shell's answer is not examined. False, and nothing run, for a file path too
// long for the shell (FitsShellPath).
bool RunShellVerb(const wchar_t* verb, const std::wstring& file);

struct WindowsVersion {
  bool known;          // BV_GetOSVersion answered
  unsigned long code;  // its code; 0 when unknown
};
WindowsVersion CurrentWindowsVersion();

bool QuickLaunchShortcutsApply(WindowsVersion version);      // XP only
bool StartMenuShortcutsApply(WindowsVersion version);        // not Vista, 7, 8 or unknown
bool StartMenuIsTheUsersOwn(WindowsVersion version);         // XP
bool TaskbarShortcutsApply(WindowsVersion version);          // Vista, 7, 8 or unknown
bool PinVerbsApply(unsigned long code);                      // Windows 7 and later

}  // namespace common

#endif  // SHELL_SHELL_FOLDERS_H_
