#include "t_common/pin.h"

#include "foundation/input_checks.h"
#include "shell/shell_folders.h"
#include "t_common/folders.h"
#include "t_common/os_version.h"

namespace common {

namespace {

void RunPinVerb(const std::wstring& path, const wchar_t* verb) {
  if (HoldsNul(path) || !IsPathFileExisting(path.c_str())) return;
  unsigned long code = 0;
  unsigned long build = 0;
  BV_GetOSVersion(&code, &build);
  if (PinVerbsApply(code)) RunShellVerb(verb, path);
}

}  // namespace

void PinToTaskBarShortCut(const std::wstring& path, bool pin) {
  RunPinVerb(path, pin ? L"taskbarpin" : L"taskbarunpin");
}

void PinToStartMenuShortcut(const std::wstring& path, bool pin) {
  RunPinVerb(path, pin ? L"startpin" : L"startunpin");
}

// An unreadable folder leaves the relative path alone, which the existence
// test then normally rejects.
void PinToStartMenu(const std::wstring& relativePath, bool pin) {
  PinToStartMenuShortcut(ReadMachineShellFolder(L"Common Programs") + relativePath, pin);
}

}  // namespace common
