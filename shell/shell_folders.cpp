#include "shell/shell_folders.h"

#include <shellapi.h>

#include "foundation/input_checks.h"
#include "t_common/os_version.h"
#include "win/registry_key.h"

namespace common {

namespace {

constexpr DWORD kShellFolderValueBytes = 1024;

unsigned long Family(unsigned long code) { return code & kOsFamilyMask; }

bool IsVistaSevenOrEight(unsigned long code) {
  const unsigned long family = Family(code);
  return family == kOsFamilyVista || family == kOsFamilyWin7 || family == kOsFamilyWin8;
}

}  // namespace

std::wstring ReadMachineShellFolder(const wchar_t* name, REGSAM view) {
  win::RegistryKey key;
  std::wstring folder;
  if (key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
               KEY_READ | view) != ERROR_SUCCESS ||
      key.ReadString(name, &folder, kShellFolderValueBytes) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return folder;
}

REGSAM StartMenuView() { return IsX64System() ? KEY_WOW64_32KEY : 0; }

std::wstring JoinFolderAndName(const std::wstring& folder, const std::wstring& name) {
  return folder + L"\\" + name;
}

bool RunShellVerb(const wchar_t* verb, const std::wstring& file) {
  if (!FitsShellPath(file.c_str())) return false;
  ::ShellExecuteW(nullptr, verb, file.c_str(), nullptr, nullptr, SW_HIDE);
  return true;
}

WindowsVersion CurrentWindowsVersion() {
  unsigned long code = 0;
  const bool known = BV_GetOSVersion(&code, nullptr) != 0;
  return {known, known ? code : 0};
}

bool QuickLaunchShortcutsApply(WindowsVersion version) {
  return version.known && Family(version.code) == kOsFamilyXp;
}

bool StartMenuShortcutsApply(WindowsVersion version) {
  return version.known && !IsVistaSevenOrEight(version.code);
}

bool StartMenuIsTheUsersOwn(WindowsVersion version) {
  return version.known && Family(version.code) == kOsFamilyXp;
}

bool TaskbarShortcutsApply(WindowsVersion version) {
  return !version.known || IsVistaSevenOrEight(version.code);
}

bool PinVerbsApply(unsigned long code) { return Family(code) >= kOsFamilyWin7; }

}  // namespace common
