#include "t_common/shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "foundation/input_checks.h"
#include "foundation/product_names.h"
#include "shell/shell_folders.h"
#include "t_common/files.h"
#include "t_common/folders.h"
#include "t_common/shell_link.h"

namespace common {

namespace {

std::wstring SpecialFolder(int csidl) {
  wchar_t folder[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) return std::wstring();
  return folder;
}

void CreatePlainLink(const std::wstring& target, const std::wstring& folder, const std::wstring& name) {
  CreateLinkIcon(target, JoinFolderAndName(folder, name), std::wstring(), std::wstring(), std::wstring());
}

// The product's folder for an empty name; empty, which no caller accepts, for
// anything but one plain name: ".." or "a\b" would name another folder.
std::wstring ProgramFolderName(const std::wstring& name) {
  if (name.empty()) return TQ_PRODUCT_NAME;
  return IsPlainName(name) ? name : std::wstring();
}

// The form CreateShortcut builds: a backslash, one plain name, a backslash.
bool IsProgramFolderForm(const std::wstring& folder) {
  return folder.size() > 2 && folder.front() == L'\\' && folder.back() == L'\\' &&
         IsPlainName(folder.substr(1, folder.size() - 2));
}

}  // namespace

std::wstring GetFolder(LinkType type) {
  switch (type) {
    case Desktop:
      return SpecialFolder(CSIDL_DESKTOP);
    case QuickLaunch:
      return SpecialFolder(CSIDL_APPDATA) + L"\\Microsoft\\Internet Explorer\\Quick Launch";
    case StartMenu:
      return SpecialFolder(CSIDL_PROGRAMS);
    default:
      return std::wstring();
  }
}

void GetShortcutPath(LinkType type, std::wstring& path) {
  switch (type) {
    case Desktop:
    case Taskbar:
      path = ReadMachineShellFolder(L"Common Desktop");
      return;
    case QuickLaunch:
      path = GetFolder(QuickLaunch);
      return;
    case Startup:
      path = ReadMachineShellFolder(L"Common Startup");
      return;
    case ProgramFolder:
      path = ReadMachineShellFolder(L"Common Programs");
      return;
    case StartMenu:
      path = StartMenuIsTheUsersOwn(CurrentWindowsVersion()) ? GetFolder(StartMenu)
                                                              : ReadMachineShellFolder(L"Common Start Menu");
      return;
    default:
      path = ReadMachineShellFolder(nullptr);
      return;
  }
}

void CreateShortcut(LinkType type, std::wstring s1, std::wstring s2, std::wstring s3, std::wstring s4,
                    std::wstring s5) {
  if (AnyHoldsNul(s1, s2, s3, s4, s5)) return;
  switch (type) {
    case Desktop:
      CreateDesktopShortcut(s1, s2);
      return;
    case QuickLaunch:
      if (QuickLaunchShortcutsApply(CurrentWindowsVersion())) CreateQucklaunchShortcut(s1, s2);
      return;
    case ProgramFolder:
      CreateStartMenuProgramFolder(L"\\" + ProgramFolderName(s5) + L"\\", s1, s2, s3, s4);
      return;
    case StartMenu:
      CreateStartMenuShortcut(s1, s2);
      return;
    case Taskbar:
      if (TaskbarShortcutsApply(CurrentWindowsVersion())) CreateTaskbarShortcut(s1, s2);
      return;
    default:
      return;
  }
}

void DeleteShortcut(LinkType type, const std::wstring& folder, const std::wstring& name, std::wstring programFolder) {
  if (AnyHoldsNul(folder, name, programFolder)) return;
  switch (type) {
    case Desktop: {
      if (!IsPlainName(name)) return;
      const std::wstring desktop = ReadMachineShellFolder(L"Common Desktop");
      if (!desktop.empty()) ::DeleteFileW(JoinFolderAndName(desktop, name).c_str());
      return;
    }
    case QuickLaunch:
      DeleteQuicklaunchShortcut(name);
      return;
    case ProgramFolder:
      DeleteStartMenuProgramFolder(programFolder);
      return;
    case StartMenu: {
      if (!IsPlainName(name)) return;
      const std::wstring start_menu = ReadMachineShellFolder(L"Common Start Menu", StartMenuView());
      if (start_menu.empty()) return;
      const std::wstring link = JoinFolderAndName(start_menu, name);
      if (::PathFileExistsW(link.c_str())) ::DeleteFileW(link.c_str());
      return;
    }
    case Taskbar:
      DeleteTaskbarShortcut(folder, name);
      return;
    default:
      return;
  }
}

void CreateDesktopShortcut(const std::wstring& target, const std::wstring& name) {
  if (!IsPlainName(name)) return;
  const std::wstring desktop = ReadMachineShellFolder(L"Common Desktop");
  if (!desktop.empty()) CreatePlainLink(target, desktop, name);
}

void CreateQucklaunchShortcut(const std::wstring& target, const std::wstring& name) {
  if (IsPlainName(name)) CreatePlainLink(target, GetFolder(QuickLaunch), name);
}

void CreateStartMenuShortcut(const std::wstring& target, const std::wstring& name) {
  if (!IsPlainName(name) || !StartMenuShortcutsApply(CurrentWindowsVersion())) return;
  const std::wstring start_menu = ReadMachineShellFolder(L"Common Start Menu", StartMenuView());
  if (!start_menu.empty()) CreatePlainLink(target, start_menu, name);
}

void CreateTaskbarShortcut(const std::wstring& folder, const std::wstring& name) {
  if (HoldsNul(folder) || !IsPlainName(name)) return;
  const std::wstring link = JoinFolderAndName(folder, name);
  if (IsPathFileExisting(link.c_str())) RunShellVerb(L"TaskbarPin", link);
}

void CreateStartMenuProgramFolder(const std::wstring& programFolder, const std::wstring& target,
                                  const std::wstring& name, const std::wstring& args, const std::wstring& icon) {
  if (!IsProgramFolderForm(programFolder) || !IsPlainName(name)) return;
  const std::wstring programs = ReadMachineShellFolder(L"Common Programs");
  if (programs.empty()) return;
  const std::wstring folder = programs + programFolder;
  // A folder made for a link that could not be written is not left behind.
  const bool made = ::CreateDirectoryW(folder.c_str(), nullptr) != 0;
  if (!CreateLinkIcon(target, folder + name, args, icon, std::wstring()) && made) ::RemoveDirectoryW(folder.c_str());
}

void DeleteQuicklaunchShortcut(const std::wstring& name) {
  if (IsPlainName(name)) ::DeleteFileW(JoinFolderAndName(GetFolder(QuickLaunch), name).c_str());
}

void DeleteTaskbarShortcut(const std::wstring& folder, const std::wstring& name) {
  if (HoldsNul(folder) || !IsPlainName(name)) return;
  const std::wstring link = JoinFolderAndName(folder, name);
  if (RunShellVerb(L"TaskbarunPin", link)) ::DeleteFileW(link.c_str());
}

void DeleteStartMenuProgramFolder(std::wstring programFolder) {
  const std::wstring folder = ProgramFolderName(programFolder);
  const std::wstring programs = ReadMachineShellFolder(L"Common Programs");
  if (folder.empty() || programs.empty()) return;
  DeleteDirectory(JoinFolderAndName(programs, folder + L"\\").c_str(), false);
}

}  // namespace common
