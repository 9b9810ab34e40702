// tqutil link, shortcut and pin: shell links written and read back, the
// shortcut places, and the pin verbs.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "command.h"
#include "commands.h"
#include "t_common/pin.h"
#include "t_common/shell_link.h"
#include "t_common/shortcuts.h"
#include "win/com.h"

namespace {

using namespace tqutil;

struct Kind {
  const wchar_t* name;
  common::LinkType type;
};

const Kind kKinds[] = {
    {L"desktop", common::Desktop},      {L"quicklaunch", common::QuickLaunch}, {L"startup", common::Startup},
    {L"programfolder", common::ProgramFolder}, {L"startmenu", common::StartMenu},   {L"taskbar", common::Taskbar},
};

// A kind by name or by number (any number, as the library accepts any).
bool ParseKind(const std::wstring& text, common::LinkType* type) {
  for (const Kind& kind : kKinds) {
    if (text == kind.name) {
      *type = kind.type;
      return true;
    }
  }
  wchar_t* end = nullptr;
  const long number = std::wcstol(text.c_str(), &end, 10);
  if (text.empty() || *end != L'\0') return false;
  *type = static_cast<common::LinkType>(number);
  return true;
}

// The value after an option at args[*at], consumed.
bool TakeOption(const Args& args, size_t* at, const wchar_t* name, std::wstring* value) {
  if (args[*at] != name || *at + 1 >= args.size()) return false;
  *value = args[*at + 1];
  *at += 2;
  return true;
}

// A link under another name would be no shortcut, and a slip that swaps
// TARGET and LINK would turn the program into a link.
bool IsLinkPath(const std::wstring& path) {
  return path.size() >= 4 && ::_wcsicmp(path.c_str() + path.size() - 4, L".lnk") == 0;
}

int NotALinkPath(const Command& command, const std::wstring& path) {
  PrintNote(L"tqutil: not a link path (it must end in .lnk): " + path);
  return UsageError(command);
}

int CreateLink(const Args& args) {
  if (args.size() < 3) return UsageError(kLinkCommand);
  if (!IsLinkPath(args[2])) return NotALinkPath(kLinkCommand, args[2]);
  std::wstring arguments, icon, description;
  for (size_t at = 3; at < args.size();) {
    if (!TakeOption(args, &at, L"--args", &arguments) && !TakeOption(args, &at, L"--icon", &icon) &&
        !TakeOption(args, &at, L"--desc", &description)) {
      return UsageError(kLinkCommand);
    }
  }
  if (!common::CreateLinkIcon(args[1], args[2], arguments, icon, description)) {
    return Fail(L"cannot write " + args[2] + L" (the program log has the failing step)");
  }
  PrintFact(L"written", args[2]);
  return kExitOk;
}

int ShowLink(const std::wstring& file) {
  win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  win::ComPtr<IShellLinkW> link;
  win::ComPtr<IPersistFile> persist;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  if (SUCCEEDED(hr)) hr = link.As(&persist);
  if (SUCCEEDED(hr)) hr = persist->Load(file.c_str(), STGM_READ);
  if (FAILED(hr)) return Fail(L"cannot read " + file + L" (HRESULT " + std::to_wstring(static_cast<long>(hr)) + L")");
  wchar_t text[INFOTIPSIZE] = {};
  int icon_index = 0;
  link->GetPath(text, INFOTIPSIZE, nullptr, SLGP_RAWPATH);
  PrintFact(L"target", text);
  text[0] = L'\0';
  link->GetWorkingDirectory(text, INFOTIPSIZE);
  PrintFact(L"working folder", text);
  text[0] = L'\0';
  link->GetArguments(text, INFOTIPSIZE);
  PrintFact(L"arguments", text);
  text[0] = L'\0';
  link->GetDescription(text, INFOTIPSIZE);
  PrintFact(L"description", text);
  text[0] = L'\0';
  link->GetIconLocation(text, INFOTIPSIZE, &icon_index);
  PrintFact(L"icon", text[0] ? std::wstring(text) + L"," + std::to_wstring(icon_index) : std::wstring());
  return kExitOk;
}

int RunLink(const Args& args) {
  if (!args.empty() && args[0] == L"create") return CreateLink(args);
  if (args.size() == 2 && args[0] == L"show") return ShowLink(args[1]);
  return UsageError(kLinkCommand);
}

int RunShortcut(const Args& args) {
  common::LinkType type = common::Desktop;
  if (args.size() < 2 || !ParseKind(args[1], &type)) return UsageError(kShortcutCommand);
  if (args[0] == L"where" && args.size() == 2) {
    std::wstring path;
    common::GetShortcutPath(type, path);
    PrintFact(L"shortcut folder", path);
    PrintFact(L"user's folder", common::GetFolder(type));
    return kExitOk;
  }
  std::wstring s[5];
  if (args.size() > 2 + 5) return UsageError(kShortcutCommand);
  for (size_t i = 2; i < args.size(); ++i) s[i - 2] = args[i];
  if (args[0] == L"create") {
    const bool names_a_link = type == common::Desktop || type == common::QuickLaunch || type == common::ProgramFolder ||
                              type == common::StartMenu || type == common::Taskbar;
    if (names_a_link && !IsLinkPath(s[1])) return NotALinkPath(kShortcutCommand, s[1]);
    common::CreateShortcut(type, s[0], s[1], s[2], s[3], s[4]);
  } else if (args[0] == L"delete" && args.size() <= 2 + 3) {
    common::DeleteShortcut(type, s[0], s[1], s[2]);
  } else {
    return UsageError(kShortcutCommand);
  }
  PrintNote(L"done (the library reports no result; the places are in `tqutil shortcut where`)");
  return kExitOk;
}

int RunPin(const Args& args) {
  if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && args[2] != L"--unpin")) {
    return UsageError(kPinCommand);
  }
  const bool pin = args.size() == 2;
  if (args[0] == L"taskbar") {
    common::PinToTaskBarShortCut(args[1], pin);
  } else if (args[0] == L"start") {
    common::PinToStartMenuShortcut(args[1], pin);
  } else {
    return UsageError(kPinCommand);
  }
  PrintNote(L"asked the shell (pin verbs run only on Windows 7 and later, for files that exist)");
  return kExitOk;
}

}  // namespace

namespace tqutil {

extern const Command kLinkCommand = {
    L"link", L"link create TARGET LINK [--args A] [--icon I] [--desc D] | link show LINK",
    L"write a shell link, or read one back", &RunLink};
extern const Command kShortcutCommand = {
    L"shortcut",
    L"shortcut where KIND | shortcut create KIND S1 [S2 [S3 [S4 [S5]]]] | shortcut delete KIND FOLDER NAME "
    L"[PROGRAM_FOLDER] (KIND: desktop, quicklaunch, startup, programfolder, startmenu, taskbar or a number)",
    L"the shortcut places, and shortcuts made or removed there", &RunShortcut};
extern const Command kPinCommand = {L"pin", L"pin taskbar|start PATH [--unpin]",
                                    L"pin a file to the taskbar or the Start menu, or unpin it", &RunPin};

}  // namespace tqutil
