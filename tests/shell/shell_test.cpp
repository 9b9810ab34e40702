// The link writer, the shortcut places and the pin verbs. shell_tests runs this
// in the shell prefix (Windows 10); each shell_<version> entry runs its
// ShellOnVersion tests in that version's prefix. The machine-wide keys and
// folders the tests change are put back.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "shell/shell_folders.h"
#include "support/sandbox.h"
#include "support/test_support.h"
#include "t_common/folders.h"
#include "t_common/pin.h"
#include "t_common/shell_link.h"
#include "t_common/shortcuts.h"
#include "t_common/text.h"
#include "win/com.h"
#include "win/registry_key.h"

namespace {

using namespace common;  // NOLINT: the tests name most of its shell functions
using testing_support::SandboxWatch;
using testing_support::ScopedTempDir;
using std::wstring;

const wstring kRun = L"C:\\Apps\\run.exe", kNul(1, L'\0');
constexpr wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The link as the shell loads it, "target|working folder|arguments|description|icon|icon index"; empty when it cannot.
wstring ReadLink(const wstring& file) {
  win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  win::ComPtr<IShellLinkW> link;
  win::ComPtr<IPersistFile> persist;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
      FAILED(link.As(&persist)) || FAILED(persist->Load(file.c_str(), STGM_READ)))
    return L"";
  constexpr int kChars = 32768;  // the longest text a link holds, and its NUL
  std::vector<wstring> text(5, wstring(kChars, L'\0'));
  int index = -1;
  link->GetPath(&text[0][0], kChars, nullptr, SLGP_RAWPATH);
  link->GetWorkingDirectory(&text[1][0], kChars);
  link->GetArguments(&text[2][0], kChars);
  link->GetDescription(&text[3][0], kChars);
  link->GetIconLocation(&text[4][0], kChars, &index);
  wstring fields;
  for (const wstring& field : text) fields += field.c_str() + wstring(L"|");
  return fields + std::to_wstring(index);
}

bool Exists(const wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// One "Shell Folders" value of one registry view set, or removed when no value
// is given, for the scope; afterwards the key is as it was. A prefix whose Wine
// runs 32-bit programs has the 32-bit view's key from its first boot, a
// 64-bit-only one lacks it.
struct ScopedShellFolder {
  ScopedShellFolder(const wchar_t* name, const wchar_t* value, REGSAM view) : name(name), view(view) {
    EXPECT_EQ(key.Create(HKEY_LOCAL_MACHINE, kShellFolders, KEY_READ | KEY_WRITE | view, &disposition), ERROR_SUCCESS);
    had = key.ReadString(name, &old) == ERROR_SUCCESS;
    EXPECT_EQ(value ? key.WriteString(name, value) : had ? key.DeleteValue(name) : ERROR_SUCCESS, ERROR_SUCCESS) << name;
  }
  ~ScopedShellFolder() {
    if (disposition != REG_CREATED_NEW_KEY) had ? key.WriteString(name, old) : key.DeleteValue(name);
    else key.reset(), ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, view, 0);
  }
  const wchar_t* name;
  const REGSAM view;
  win::RegistryKey key;
  DWORD disposition = 0;
  wstring old;
  bool had = false;
};

// For the object's life the machine's common folders lie in a fresh folder, in
// both views (a 32-bit process reads every value from the 32-bit one, a 64-bit
// one the Start menu's): Desktop, Start Menu, its Programs and Programs\Startup.
// Each of them, the folder beside them, the user's Quick Launch folder and the
// folder beside that hold bystanders (PlantBystanders); Watch() records all of
// them and the renames pending at the next restart.
struct ScopedCommonFolders {
  ScopedCommonFolders() {
    const wchar_t* names[] = {L"Common Desktop", L"Common Start Menu", L"Common Programs", L"Common Startup"};
    const wstring* folders[] = {&desktop, &start_menu, &programs, &startup};
    for (int i = 0; i < 8; ++i)
      values[i] = std::make_unique<ScopedShellFolder>(names[i % 4], folders[i % 4]->c_str(), i < 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    for (const wstring& folder : {root.path(), start_menu, desktop, programs, startup, quick_launch, beside_quick_launch})
      testing_support::PlantBystanders(folder);
  }
  SandboxWatch Watch() const { return SandboxWatch({root.path(), beside_quick_launch}, {testing_support::kPendingRenamesKey}); }

  const ScopedTempDir root;
  const wstring desktop = root.Child(L"Desktop"), start_menu = root.Child(L"Start Menu"), programs = start_menu + L"\\Programs",
                startup = programs + L"\\Startup",
                quick_launch = GetSpecialFolderPath(CSIDL_APPDATA, false) + L"\\Microsoft\\Internet Explorer\\Quick Launch",
                beside_quick_launch = quick_launch.substr(0, quick_launch.rfind(L'\\'));
  std::unique_ptr<ScopedShellFolder> values[8];  // destroyed last first: the one that made a key deletes it
};

// lnkfile verbs, under a key that must be new, whose command runs
// shell_recorder.exe, which records "VERB|FILE" lines in UTF-16.
struct ScopedVerbRecorder {
  explicit ScopedVerbRecorder(const std::vector<wstring>& verbs) {
    const wstring self = testing_support::SelfPath(), recorder = self.substr(0, self.rfind(L'\\') + 1) + L"shell_recorder.exe";
    EXPECT_EQ(key.Create(HKEY_LOCAL_MACHINE, kVerbs, KEY_WRITE, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    for (const wstring& verb : verbs) {
      win::RegistryKey command;
      EXPECT_EQ(command.Create(key.get(), (verb + L"\\command").c_str(), KEY_WRITE), ERROR_SUCCESS);
      EXPECT_EQ(command.WriteString(nullptr, L"\"" + recorder + L"\" \"" + records + L"\" " + verb + L" \"%1\""), ERROR_SUCCESS);
    }
  }
  ~ScopedVerbRecorder() {
    Records();
    key.reset();
    if (disposition == REG_CREATED_NEW_KEY) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kVerbs);
  }
  // The records once no handler runs any more (up to 30 seconds): the shell starts one and returns.
  wstring Records() const {
    for (int wait = 0; wait < 600 && Recording(); ++wait) ::Sleep(50);
    const std::string bytes = testing_support::ReadBytes(records);
    return wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  }
  static bool Recording() {
    const auto list = testing_support::ProcessList();
    return std::any_of(list.begin(), list.end(), [](auto& p) { return _wcsicmp(p.name.c_str(), L"shell_recorder.exe") == 0; });
  }

  static constexpr wchar_t kVerbs[] = L"Software\\Classes\\lnkfile\\shell";
  win::RegistryKey key;
  DWORD disposition = 0;
  const ScopedTempDir dir;
  const wstring records = dir.Child(L"records.txt");
};

// Each field as the shell reads it back, and the log. Pairs of backslashes
// collapse before slashes become backslashes, in target, icon and save path.
// Empty arguments, description and icon are neither set nor logged. The working
// folder is the normalised target's, with the root dropped by PathAppendW, none
// for a bare name. Up to the limits every text is stored whole, over an earlier
// link; an empty target gives a link without one. With TQ_LINK_OUTPUT the links
// stay in that folder for check_links.sh: lnkinfo reads them, sharing nothing with the shell.
TEST(CreateLinkIcon, WritesEachFieldForEveryReader) {
  const ScopedTempDir temp;
  wchar_t given[MAX_PATH] = {};
  const wstring out = ::GetEnvironmentVariableW(L"TQ_LINK_OUTPUT", given, MAX_PATH) ? given : temp.Child(L"links");
  testing_support::RemoveTree(out);
  ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
  // The icon, when there is one, is the target's .ico; the save path is out with "C:/" and "\\" before the name.
  const auto check = [&](const wchar_t* name, const wstring& target, const wstring& arguments, const wstring& description,
                         bool with_icon, const wstring& stored, const wstring& folder) {
    SCOPED_TRACE(ws2s(target));
    const wstring icon = with_icon ? target.substr(0, target.size() - 3) + L"ico" : L"", link = out + L"\\" + name + L".lnk";
    const wstring icon_stored = with_icon ? stored.substr(0, stored.size() - 3) + L"ico" : L"";
    wstring save = out + L"\\\\" + name + L".lnk", logged = L"CreateLinkIcon sDstFileTrimed = " + stored;
    save[2] = L'/';
    const testing_support::LogWatch log;
    ASSERT_TRUE(CreateLinkIcon(target, save, arguments, icon, description));
    logged += L"\nCreateLinkIcon szDirectory = " + folder + (arguments.empty() ? L"" : L"\nCreateLinkIcon sParam = " + arguments);
    if (!description.empty()) logged += L"\nCreateLinkIcon sDec = " + description;
    if (with_icon) logged += L"\nCreateLinkIcon sIconTrimed = " + icon_stored;
    EXPECT_EQ(log.Added(), ws2s(logged + L"\nCreateLinkIcon sSavePathTrimed = " + link + L"\n"));
    wchar_t full[MAX_PATH] = {};  // the shell keeps the target as a full path of its own making
    ::GetFullPathNameW(stored.c_str(), MAX_PATH, full, nullptr);
    EXPECT_EQ(ReadLink(link), full + (L"|" + folder + L"|" + arguments + L"|" + description + L"|" + icon_stored + L"|0"));
  };
  const wstring client = L"C:\\Apps\\Client\\run.exe", twice = L"C:\\Apps\\\\Client\\run.exe";
  check(L"full", L"C:\\\\Apps\\\\Client\\\\run.exe", L"--silent -x", L"Quotes and news", true, client, L"C:\\Apps\\Client");
  check(L"x", L"C:/Apps/Client/run.exe", L"", L"", true, client, L"C:\\Apps\\Client");
  check(L"network", L"\\\\server\\share\\run.exe", L"", L"", false, L"\\server\\share\\run.exe", L"server\\share");
  check(L"bare", L"run.exe", L"", L"", false, L"run.exe", L"");
  check(L"x", L"C:\\Apps\\\\\\Client\\run.exe", L"", L"", true, twice, L"C:\\Apps\\\\Client");
  check(L"x", L"C:\\Apps\\\\\\\\Client\\run.exe", L"", L"", true, twice, L"C:\\Apps\\\\Client");
  check(L"x", L"C:\\Apps//Client\\run.exe", L"", L"", true, twice, L"C:\\Apps\\\\Client");
  const wstring text(32766, L'x'), icon = L"C:\\" + text.substr(3), folder = L"C:\\" + wstring(200, L'a');
  const wstring target = folder + L"\\" + wstring(55, L'b'), limits = out + L"\\limits.lnk";
  ASSERT_TRUE(CreateLinkIcon(L"", limits, L"", L"", L""));
  EXPECT_EQ(ReadLink(limits), L"|||||0");
  ASSERT_TRUE(CreateLinkIcon(target, limits, text, icon, text));
  EXPECT_EQ(ReadLink(limits), target + L"|" + folder + L"|" + text + L"|" + text + L"|" + icon + L"|0");
}

// Bad input gives false and writes nothing, never a crash: no bystander beside
// the save path changes. What a link cannot hold is refused before anything is
// written, and only a missing file or another link is written over.
TEST(CreateLinkIcon, BadInputWritesNothing) {
  const ScopedTempDir dir;
  testing_support::PlantBystanders(dir.path());
  std::string other_class(76, '\0');  // a link's header size, another class
  other_class[0] = 0x4C;
  ASSERT_TRUE(testing_support::WriteBytes(dir.Child(L"other.lnk"), other_class));
  const wstring link = dir.Child(L"new.lnk"), none, text(32767, L'x');
  const struct {
    const char* what;
    wstring target, save_path, arguments = L"", icon = L"", description = L"";
  } rows[] = {
      {"NUL in the target", kRun + kNul + L"x", link},
      {"NUL in the save path", kRun, link + kNul + L".txt"},
      {"NUL in the arguments", kRun, link, L"-a" + kNul},
      {"NUL in the icon", kRun, link, none, L"C:\\a.ico" + kNul},
      {"NUL in the description", kRun, link, none, none, kNul + L"x"},
      {"relative target whose full path has 260", wstring(MAX_PATH - ::GetCurrentDirectoryW(0, nullptr), L'r'), link},
      {"quote inside the target", L"C:\\a\"b\\run.exe", link},
      {"arguments of 32,767 characters", kRun, link, text},
      {"icon of 32,767 characters", kRun, link, none, text},
      {"description of 32,767 characters", kRun, link, none, none, text},
      {"over a file that is no link", kRun, dir.Child(L"keep.txt")},
      {"over a file with a link's header size only", kRun, dir.Child(L"other.lnk")},
      {"over a folder", kRun, dir.Child(L"sub")},
      {"empty save path", kRun, none},
      {"300-character save path", kRun, dir.Child(wstring(300, L'a') + L".lnk")},
  };
  for (const auto& row : rows) {
    const SandboxWatch watch({dir.path()});
    EXPECT_FALSE(CreateLinkIcon(row.target, row.save_path, row.arguments, row.icon, row.description)) << row.what;
    EXPECT_TRUE(watch.Unchanged()) << row.what;
  }
  const wstring missing_folder = dir.Child(L"no such folder\\x.lnk");
  const testing_support::LogWatch log;
  EXPECT_FALSE(CreateLinkIcon(kRun, missing_folder, L"", L"", L""));
  EXPECT_EQ(log.Added(), "CreateLinkIcon sDstFileTrimed = C:\\Apps\\run.exe\nCreateLinkIcon szDirectory = C:\\Apps\n"
                         "CreateLinkIcon sSavePathTrimed = " + ws2s(missing_folder) + "\nCreateLinkIcon ppf->Save fail : hres = " +
                             std::to_string(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) + "\n");
}

// A thread without COM gets it for the call only (alone in a child: another
// thread in the multithreaded apartment would make COM usable here); a thread
// with COM keeps its own apartment.
TEST(CreateLinkIcon, UsesTheThreadsComOrItsOwnForTheCallOnly) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("CreateLinkIcon.UsesTheThreadsComOrItsOwnForTheCallOnly"), 0);
    return;
  }
  const ScopedTempDir dir;
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  ASSERT_EQ(::CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
  ASSERT_TRUE(CreateLinkIcon(kRun, dir.Child(L"c.lnk"), L"", L"", L""));
  EXPECT_EQ(::CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
  EXPECT_EQ(ReadLink(dir.Child(L"c.lnk")), kRun + L"|C:\\Apps||||0");
  HRESULT again = E_FAIL;
  std::thread([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_TRUE(CreateLinkIcon(kRun, dir.Child(L"m.lnk"), L"", L"", L""));
    again = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: the same apartment, still the thread's
    ::CoUninitialize();
    ::CoUninitialize();
  }).join();
  EXPECT_EQ(again, S_FALSE);
}

// Versions no prefix reports (the matrix runs the others), one that could not
// be read among them: Quick Launch, Start menu, the user's own Start menu,
// taskbar, pin verbs.
TEST(VersionGates, DecideWhichShortcutsAreMade) {
  for (const auto& [version, expected] : std::vector<std::pair<WindowsVersion, std::string>>{
           {{false, 0}, "00010"}, {{true, 0x1200}, "01000"}, {{true, 0x1400}, "01000"}, {{true, 0x2000}, "01001"}}) {
    std::string made;
    for (bool applies : {QuickLaunchShortcutsApply(version), StartMenuShortcutsApply(version), StartMenuIsTheUsersOwn(version),
                         TaskbarShortcutsApply(version), PinVerbsApply(version.code)})
      made += applies ? '1' : '0';
    EXPECT_EQ(made, expected) << version.code;
  }
}

// Names that leave their folder or that no file can have, NUL characters,
// kinds outside 0 to 5, text no link holds, a file in the way and the Start
// menu without its 32-bit value: nothing happens. No bystander in or beside the
// common folders (fresh for each row) changes, nothing waits for the next
// restart, the shell runs no verb and nothing lands in the drive's root.
TEST(Shortcuts, BadInputLeavesEveryBystander) {
  ScopedVerbRecorder recorder({L"TaskbarPin", L"TaskbarunPin", L"startpin"});
  const wstring up = L"..\\keep.txt", cut = L"pinned.lnk" + kNul + L"x";  // cut at the NUL: an existing link
  const std::pair<const char*, std::function<void(const ScopedCommonFolders&)>> rows[] = {
      {"program folder ..", [](auto&) { DeleteStartMenuProgramFolder(L".."); }},
      {"desktop ..\\", [&](auto&) { DeleteShortcut(Desktop, L"", up, L""); }},
      {"NUL in a folder the kind ignores", [](auto&) { DeleteShortcut(Desktop, kNul, L"keep.txt", L""); }},
      {"start menu sub\\", [](auto&) { DeleteShortcut(StartMenu, L"", L"Programs\\keep.txt", L""); }},
      {"quick launch ..\\", [&](auto&) { DeleteQuicklaunchShortcut(up); }},
      {"taskbar ..\\", [&](auto& p) { DeleteShortcut(Taskbar, p.desktop, up, L""); }},
      {"taskbar folder cut at NUL", [](auto& p) { DeleteTaskbarShortcut(p.desktop + L"\\keep.txt" + kNul, L"x.lnk"); }},
      {"taskbar name cut at NUL", [&](auto& p) { CreateTaskbarShortcut(p.desktop, cut); }},
      {"pin cut at NUL", [&](auto& p) { PinToTaskBarShortCut(p.desktop + L"\\" + cut, true); }},
      {"new desktop ..\\", [](auto&) { CreateShortcut(Desktop, kRun, L"..\\x.lnk", L"", L"", L""); }},
      {"new start menu sub\\", [](auto&) { CreateShortcut(StartMenu, kRun, L"Programs\\x.lnk", L"", L"", L""); }},
      {"new quick launch ..\\", [](auto&) { CreateQucklaunchShortcut(kRun, L"..\\x.lnk"); }},
      {"new program folder ..", [](auto&) { CreateShortcut(ProgramFolder, kRun, L"x.lnk", L"", L"", L".."); }},
      {"new in program folder ..\\", [](auto&) { CreateShortcut(ProgramFolder, kRun, L"..\\x.lnk", L"", L"", L""); }},
      {"program folder without separators", [](auto&) { CreateStartMenuProgramFolder(L"Tq", kRun, L"x.lnk", L"", L""); }},
      {"program folder \\..\\", [](auto&) { CreateStartMenuProgramFolder(L"\\..\\", kRun, L"x.lnk", L"", L""); }},
      {"program folder cut at NUL", [](auto&) { CreateStartMenuProgramFolder(L"\\Tq\\" + kNul, kRun, L"x.lnk", L"", L""); }},
      {"NUL in a string the kind ignores", [](auto&) { CreateShortcut(Desktop, kRun, L"x.lnk", kNul, L"", L""); }},
      {"target too long", [](auto&) { CreateShortcut(ProgramFolder, L"C:\\" + wstring(300, L'a'), L"x.lnk", L"", L"", L"New"); }},
      {"over a file in a program folder", [](auto&) { CreateStartMenuProgramFolder(L"\\sub\\", kRun, L"inner.txt", L"", L""); }},
      {"kind 6", [](auto& p) { DeleteShortcut(LinkType(6), p.desktop, L"keep.txt", L""); }},
      {"no Start menu in the 32-bit view", [](auto&) {
         const ScopedShellFolder none(L"Common Start Menu", nullptr, KEY_WOW64_32KEY);
         CreateShortcut(StartMenu, kRun, L"x.lnk", L"", L"", L"");
       }},
  };
  for (const auto& [what, call] : rows) {
    SCOPED_TRACE(what);
    const ScopedCommonFolders places;
    for (const wstring& folder : {places.desktop, places.programs})
      ASSERT_TRUE(CreateLinkIcon(kRun, folder + L"\\pinned.lnk", L"", L"", L""));
    const wstring verbs = recorder.Records();
    const SandboxWatch watch = places.Watch();
    call(places);
    EXPECT_EQ(recorder.Records(), verbs);
    EXPECT_TRUE(watch.Unchanged());
    EXPECT_FALSE(Exists(L"\\x.lnk"));
  }
}

// The shell's own path handling overruns its stack on long paths, so these
// run in a child with a time limit. From 260 characters on nothing reaches
// the shell and nothing is deleted; at 259 the link is unpinned and deleted.
TEST(Shortcuts, LongPathsNeverReachTheShell) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("Shortcuts.LongPathsNeverReachTheShell", {}, 90000), 0);
    return;
  }
  const ScopedTempDir dir;
  const wstring& top = dir.path();
  // The folder whose x.lnk has a path of that length.
  const auto folder_of = [&](size_t length) { return dir.Child(wstring(length - top.size() - 7, L'f')); };
  wstring deep = top;
  while (deep.size() < 1000) ASSERT_TRUE(::CreateDirectoryW((deep += L"\\" + wstring(200, L'd')).c_str(), nullptr));
  for (const wstring& folder : {deep, folder_of(259), folder_of(260)}) {
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteBytes(folder + L"\\x.lnk", "link"));
  }
  const SandboxWatch watch({top});
  DeleteTaskbarShortcut(folder_of(260), L"x.lnk");
  DeleteTaskbarShortcut(deep, L"x.lnk");
  CreateTaskbarShortcut(deep, L"x.lnk");
  PinToTaskBarShortCut(deep + L"\\x.lnk", false);
  EXPECT_TRUE(watch.Unchanged());
  DeleteTaskbarShortcut(folder_of(259), L"x.lnk");
  EXPECT_FALSE(Exists(folder_of(259) + L"\\x.lnk"));
}

// One Windows version per run: TQ_EXPECTED_WINDOWS names the `winecfg /v`
// version the prefix reports. Where links of each kind lie (GetShortcutPath),
// the user's own folder of the kind (GetFolder), and where the kind's link is
// made and deleted again. Deleting has no version test: each link is made again
// before it is deleted. Only a program folder's link takes arguments and an
// icon, and the folder goes whole; nothing else in the common folders changes.
// Then the taskbar kind's verb on Vista, 7 and 8, the pin verbs from Windows 7
// on, each only for an existing file (verb names are keys, so case-blind).
// Deleting removes the link even when the unpin verb fails, as it does before
// the recorder is registered. PinToStartMenu's path is relative to the common
// Programs folder and brings its own backslash.
TEST(ShellOnVersion, PlacesLinksAndVerbs) {
  // Quick Launch links and the user's own Start menu (XP), Start menu, taskbar, pin verbs.
  const std::map<std::string, std::array<bool, 4>> versions = {
      {"winxp64", {1, 1, 0, 0}}, {"vista", {0, 0, 1, 0}}, {"win7", {0, 0, 1, 1}},
      {"win8", {0, 0, 1, 1}},    {"win81", {0, 1, 0, 1}}, {"win10", {0, 1, 0, 1}}};
  const char* name = std::getenv("TQ_EXPECTED_WINDOWS");
  ASSERT_TRUE(name && versions.count(name)) << "TQ_EXPECTED_WINDOWS names no version of the table";
  const auto [xp, start_menu, taskbar, pin] = versions.at(name);
  const ScopedCommonFolders places;
  const SandboxWatch watch = places.Watch();
  const wstring user_programs = GetSpecialFolderPath(CSIDL_PROGRAMS, false), none;
  const std::tuple<int, wstring, wstring, wstring, wstring, bool> rows[] = {  // kind, place, folder, link folder, program folder, made
      {Desktop, places.desktop, GetSpecialFolderPath(CSIDL_DESKTOP, false), places.desktop, none, true},
      {Taskbar, places.desktop, none, none, none, false},
      {QuickLaunch, places.quick_launch, places.quick_launch, places.quick_launch, none, xp},
      {Startup, places.startup, none, none, none, false},
      {ProgramFolder, places.programs, none, places.programs + L"\\Tessaquill", none, true},
      {ProgramFolder, places.programs, none, places.programs + L"\\Quotes Test", L"Quotes Test", true},
      {StartMenu, xp ? user_programs : places.start_menu, user_programs, places.start_menu, none, start_menu},
      {6, none, none, none, none, false}, {-1, none, none, none, none, false}, {1000, none, none, none, none, false},
  };
  for (const auto& [number, place, folder, link_folder, program_folder, made] : rows) {
    SCOPED_TRACE(number);
    const auto kind = static_cast<LinkType>(number);
    wstring path = L"stale";
    GetShortcutPath(kind, path);
    EXPECT_EQ(path, place);
    EXPECT_EQ(GetFolder(kind), folder);
    const wstring link = link_folder + L"\\matrix test.lnk";
    CreateShortcut(kind, kRun, L"matrix test.lnk", L"-q", L"C:\\Apps\\run.ico", program_folder);
    if (link_folder.empty()) continue;  // what it wrongly made, the watch sees
    EXPECT_EQ(ReadLink(link), !made                   ? L""
                              : kind == ProgramFolder ? kRun + L"|C:\\Apps|-q||C:\\Apps\\run.ico|0"
                                                      : kRun + L"|C:\\Apps||||0");
    ASSERT_TRUE(CreateLinkIcon(kRun, link, L"", L"", L""));
    DeleteShortcut(kind, L"", L"matrix test.lnk", program_folder);
    EXPECT_FALSE(Exists(kind == ProgramFolder ? link_folder : link));
  }
  EXPECT_TRUE(watch.Unchanged());

  const wstring folder = places.programs + L"\\Pin Test", link = folder + L"\\client.lnk";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateLinkIcon(kRun, link, L"", L"", L""));
  DeleteShortcut(Taskbar, folder, L"client.lnk", L"");
  EXPECT_FALSE(Exists(link));
  ScopedVerbRecorder recorder({L"TaskbarPin", L"TaskbarunPin", L"startpin", L"startunpin"});
  const std::tuple<std::function<void()>, bool, wstring> steps[] = {
      {[&] {  // no file yet
         for (bool on : {true, false}) {
           PinToTaskBarShortCut(link, on);
           PinToStartMenuShortcut(link, on);
           PinToStartMenu(L"\\Pin Test\\client.lnk", on);
         }
         CreateShortcut(Taskbar, folder, L"client.lnk", L"", L"", L"");
         PinToTaskBarShortCut(L"", true);
         PinToStartMenuShortcut(wstring(300, L'a'), true);
         EXPECT_TRUE(CreateLinkIcon(kRun, link, L"", L"", L""));
       }, false, L""},
      {[&] { CreateShortcut(Taskbar, folder, L"client.lnk", L"", L"", L""); }, taskbar, L"TaskbarPin"},
      {[&] { PinToTaskBarShortCut(link, true); }, pin, L"TaskbarPin"},
      {[&] { PinToTaskBarShortCut(link, false); }, pin, L"TaskbarunPin"},
      {[&] { PinToStartMenu(L"Pin Test\\client.lnk", true); }, false, L""},  // runs into the folder's name
      {[&] { PinToStartMenu(L"\\Pin Test\\client.lnk", true); }, pin, L"startpin"},
      {[&] { PinToStartMenuShortcut(link, false); }, pin, L"startunpin"},
      {[&] { DeleteShortcut(Taskbar, folder, L"client.lnk", L""); }, true, L"TaskbarunPin"},
  };
  for (const auto& [call, runs, verb] : steps) {
    const wstring before = recorder.Records();
    call();
    EXPECT_EQ(recorder.Records(), before + (runs ? verb + L"|" + link + L"\n" : L"")) << ws2s(verb);
  }
  EXPECT_FALSE(Exists(link));
}

}  // namespace
