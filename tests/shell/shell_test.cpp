// The link writer, the shortcut places and the pin verbs. shell_tests runs this
// in the shell prefix (Windows 10); each shell_<version> entry runs its
// ShellOnVersion tests in that version's prefix. The machine-wide keys and
// folders the tests change are put back.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <thread>

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
using namespace testing_support;  // NOLINT: and most of the test helpers
using std::wstring;

const wstring kRun = L"C:\\Apps\\run.exe", kNul(1, L'\0'), kVerbs = L"Software\\Classes\\lnkfile\\shell",
              kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

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
  return wstring(text[0].c_str()) + L"|" + text[1].c_str() + L"|" + text[2].c_str() + L"|" + text[3].c_str() + L"|" +
         text[4].c_str() + L"|" + std::to_wstring(index);
}

bool Exists(const wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// One "Shell Folders" value of one registry view, set for the scope; afterwards
// the key is as it was. A prefix whose Wine runs 32-bit programs has the 32-bit
// view's key from its first boot, a 64-bit-only one lacks it.
struct ScopedShellFolder {
  ScopedShellFolder(const wchar_t* name, const wstring& value, REGSAM view) : name(name), view(view) {
    EXPECT_EQ(key.Create(HKEY_LOCAL_MACHINE, kShellFolders.c_str(), KEY_READ | KEY_WRITE | view, &disposition), ERROR_SUCCESS);
    if (wstring value_before; key.ReadString(name, &value_before) == ERROR_SUCCESS) old = value_before;
    EXPECT_EQ(key.WriteString(name, value), ERROR_SUCCESS) << name;
  }
  ~ScopedShellFolder() {
    if (disposition != REG_CREATED_NEW_KEY) old ? key.WriteString(name, *old) : key.DeleteValue(name);
    else key.reset(), ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kShellFolders.c_str(), view, 0);
  }
  const wchar_t* name;
  const REGSAM view;
  win::RegistryKey key;
  DWORD disposition = 0;
  std::optional<wstring> old;
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
      values[i] = std::make_unique<ScopedShellFolder>(names[i % 4], *folders[i % 4], i < 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    for (const wstring& folder : {root.path(), start_menu, desktop, programs, startup, quick_launch, beside_quick_launch})
      PlantBystanders(folder);
  }
  SandboxWatch Watch() const { return SandboxWatch({root.path(), beside_quick_launch}, {kPendingRenamesKey}); }

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
    const wstring self = SelfPath(), recorder = self.substr(0, self.rfind(L'\\') + 1) + L"shell_recorder.exe";
    EXPECT_TRUE(key.Create(HKEY_LOCAL_MACHINE, kVerbs.c_str(), KEY_WRITE, &disposition) == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY);
    for (const wstring& verb : verbs) {
      win::RegistryKey command;
      EXPECT_TRUE(command.Create(key.get(), (verb + L"\\command").c_str(), KEY_WRITE) == ERROR_SUCCESS &&
                  command.WriteString(nullptr, L"\"" + recorder + L"\" \"" + records + L"\" " + verb + L" \"%1\"") == ERROR_SUCCESS);
    }
  }
  ~ScopedVerbRecorder() {  // every test waits for the handlers it started (Records)
    key.reset();
    if (disposition == REG_CREATED_NEW_KEY) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kVerbs.c_str());
  }
  // The records once no handler runs any more (up to 30 seconds): the shell starts one and returns.
  wstring Records() const {
    WaitFor([] {
      const auto list = ProcessList();
      return std::none_of(list.begin(), list.end(), [](auto& p) { return _wcsicmp(p.name.c_str(), L"shell_recorder.exe") == 0; });
    });
    const std::string bytes = ReadBytes(records);
    return wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  }

  win::RegistryKey key;
  DWORD disposition = 0;
  const ScopedTempDir dir;
  const wstring records = dir.Child(L"records.txt");
};

// In a child, whose thread has no COM: CreateLinkIcon gets it for the call only;
// a thread with COM keeps its own apartment. Each field as the shell reads it
// back, and the log. Pairs of backslashes collapse before slashes become
// backslashes, in target, icon and save path. Empty arguments, description and
// icon are neither set nor logged. The working folder is the normalised
// target's, with the root dropped by PathAppendW, none for a bare name. Up to the
// limits every text is stored whole, over an earlier link; an empty target gives
// a link without one. With TQ_LINK_OUTPUT the links stay in that folder for
// check_links.sh: lnkinfo reads them, sharing nothing with the shell. Bad input
// gives false and writes nothing: no bystander beside the save path changes.
// What a link cannot hold is refused before anything is written, and only a
// missing file or another link is written over.
TEST(CreateLinkIcon, WritesEachFieldForEveryReaderAndNothingForBadInput) {
  if (RanInChild()) return;
  const auto apartment = [] { APTTYPE type; APTTYPEQUALIFIER qualifier; return ::CoGetApartmentType(&type, &qualifier); };
  ASSERT_EQ(apartment(), CO_E_NOTINITIALIZED);
  const ScopedTempDir temp;
  wchar_t given[MAX_PATH] = {};
  const wstring out = ::GetEnvironmentVariableW(L"TQ_LINK_OUTPUT", given, MAX_PATH) ? given : temp.Child(L"links");
  RemoveTree(out);
  ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
  // The icon, when there is one, is the target's .ico; the save path has "/" after the drive and "\\" before the name.
  const auto check = [&](const wchar_t* name, const wstring& target, const wstring& arguments, const wstring& description,
                         bool with_icon, const wstring& stored, const wstring& folder) {
    SCOPED_TRACE(ws2s(target));
    const auto ico = [&](const wstring& exe) { return with_icon ? exe.substr(0, exe.size() - 3) + L"ico" : L""; };
    const auto line = [](const wchar_t* label, const wstring& value) { return value.empty() ? L"" : L"\nCreateLinkIcon " + wstring(label) + L" = " + value; };
    const wstring link = out + L"\\" + name + L".lnk";
    const LogWatch log;
    wstring save = out + L"\\\\" + name + L".lnk";
    save[2] = L'/';  // C:/...
    ASSERT_TRUE(CreateLinkIcon(target, save, arguments, ico(target), description));
    EXPECT_EQ(log.Added(), ws2s(L"CreateLinkIcon sDstFileTrimed = " + stored + L"\nCreateLinkIcon szDirectory = " + folder + line(L"sParam", arguments) +
                                line(L"sDec", description) + line(L"sIconTrimed", ico(stored)) + L"\nCreateLinkIcon sSavePathTrimed = " + link + L"\n"));
    wchar_t full[MAX_PATH] = {};  // the shell keeps the target as a full path of its own making
    ::GetFullPathNameW(stored.c_str(), MAX_PATH, full, nullptr);
    EXPECT_EQ(ReadLink(link), full + (L"|" + folder + L"|" + arguments + L"|" + description + L"|" + ico(stored) + L"|0"));
  };
  const wstring client = L"C:\\Apps\\Client\\run.exe", twice = L"C:\\Apps\\\\Client\\run.exe";
  check(L"full", L"C:\\\\Apps\\\\Client\\\\run.exe", L"--silent -x", L"Quotes and news", true, client, L"C:\\Apps\\Client");
  check(L"network", L"\\\\server\\share\\run.exe", L"", L"", false, L"\\server\\share\\run.exe", L"server\\share");
  check(L"bare", L"run.exe", L"", L"", false, L"run.exe", L"");
  check(L"x", L"C:\\Apps\\\\\\\\Client\\run.exe", L"", L"", true, twice, L"C:\\Apps\\\\Client");
  check(L"x", L"C:\\Apps//Client\\run.exe", L"/p C:\\\\d//e", L"a//b\\\\c", true, twice, L"C:\\Apps\\\\Client");  // only paths cleaned
  const wstring text(32766, L'x'), icon = L"C:\\" + text.substr(3), folder = L"C:\\" + wstring(200, L'a');
  const wstring target = folder + L"\\" + wstring(55, L'b'), limits = out + L"\\limits.lnk";
  ASSERT_TRUE(CreateLinkIcon(L"", limits, L"", L"", L""));
  EXPECT_EQ(ReadLink(limits), L"|||||0");
  ASSERT_TRUE(CreateLinkIcon(target, limits, text, icon, text));
  EXPECT_EQ(ReadLink(limits), target + L"|" + folder + L"|" + text + L"|" + text + L"|" + icon + L"|0");
  EXPECT_EQ(apartment(), CO_E_NOTINITIALIZED);
  std::thread([&] {
    const win::ScopedComInitializer com(COINIT_MULTITHREADED);
    EXPECT_TRUE(CreateLinkIcon(kRun, out + L"\\m.lnk", L"", L"", L""));
    EXPECT_EQ(apartment(), S_OK);
  }).join();

  PlantBystanders(out);
  ASSERT_TRUE(WriteBytes(out + L"\\other.lnk", "\x4C" + std::string(75, '\0')));  // a link's header size, another class
  const std::string link_class("\x01\x14\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16);  // CLSID_ShellLink
  ASSERT_TRUE(WriteBytes(out + L"\\class.lnk", std::string("\x4D\0\0\0", 4) + link_class + std::string(56, '\0')));
  const wstring link = out + L"\\new.lnk", none, long_text(32767, L'x');
  const auto refused = [&](const char* what, const wstring& target, const wstring& save, const wstring& arguments = L"",
                           const wstring& icon = L"", const wstring& description = L"") {
    const SandboxWatch watch({out});
    EXPECT_FALSE(CreateLinkIcon(target, save, arguments, icon, description)) << what;
    EXPECT_TRUE(watch.Unchanged()) << what;
  };
  refused("NUL in the target", kRun + kNul + L"x", link);
  refused("NUL in the save path", kRun, link + kNul + L".txt");
  refused("NUL in the arguments", kRun, link, L"-a" + kNul);
  refused("NUL in the icon", kRun, link, none, L"C:\\a.ico" + kNul);
  refused("NUL in the description", kRun, link, none, none, kNul + L"x");
  refused("relative target whose full path has 260", wstring(MAX_PATH - ::GetCurrentDirectoryW(0, nullptr), L'r'), link);
  refused("quote inside the target", L"C:\\a\"b\\run.exe", link);
  refused("arguments of 32,767 characters", kRun, link, long_text);
  refused("icon of 32,767 characters", kRun, link, none, long_text);
  refused("description of 32,767 characters", kRun, link, none, none, long_text);
  refused("over a file that is no link", kRun, out + L"\\keep.txt");
  refused("over a file with a link's header size only", kRun, out + L"\\other.lnk");
  refused("over a file with a link's class only", kRun, out + L"\\class.lnk");
  refused("over a folder", kRun, out + L"\\sub");
  refused("empty save path", kRun, none);
  const LogWatch log;
  EXPECT_FALSE(CreateLinkIcon(kRun, out + L"\\no such folder\\x.lnk", L"", L"", L""));
  EXPECT_NE(log.Added().find("\nCreateLinkIcon ppf->Save fail : hres = " + std::to_string(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))),
            std::string::npos);
}

// Versions no prefix reports (the matrix runs the others), one that could not
// be read among them: Quick Launch, Start menu, the user's own Start menu,
// taskbar, pin verbs.
TEST(VersionGates, DecideWhichShortcutsAreMade) {
  const std::pair<WindowsVersion, std::vector<bool>> rows[] = {{{false, 0}, {0, 0, 0, 1, 0}}, {{true, 0x1200}, {0, 1, 0, 0, 0}},
                                                               {{true, 0x1400}, {0, 1, 0, 0, 0}}, {{true, 0x2000}, {0, 1, 0, 0, 1}}};
  for (const auto& [v, expected] : rows)
    EXPECT_EQ(std::vector<bool>({QuickLaunchShortcutsApply(v), StartMenuShortcutsApply(v), StartMenuIsTheUsersOwn(v),
                                 TaskbarShortcutsApply(v), PinVerbsApply(v.code)}), expected) << v.code;
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
      {"kind 6", [](auto& p) { DeleteShortcut(LinkType(6), p.desktop, L"keep.txt", L"sub"); }},
      {"delete kind Startup", [](auto& p) { DeleteShortcut(Startup, p.desktop, L"keep.txt", L"sub"); }},
      {"delete, no 32-bit Start menu", [](auto& p) { p.values[5]->key.DeleteValue(L"Common Start Menu"), DeleteShortcut(StartMenu, L"", L"keep.txt", L""); }},
      {"no Common Desktop", [](auto& p) { p.values[0]->key.DeleteValue(L"Common Desktop"), p.values[4]->key.DeleteValue(L"Common Desktop"), CreateShortcut(Desktop, kRun, L"x.lnk", L"", L"", L""); }},
      {"no 32-bit Start menu", [](auto& p) { p.values[5]->key.DeleteValue(L"Common Start Menu"), CreateShortcut(StartMenu, kRun, L"x.lnk", L"", L"", L""); }},
  };
  ASSERT_FALSE(Exists(L"\\x.lnk")) << "the drive root holds an x.lnk from an earlier run";
  for (const auto& [what, call] : rows) {
    SCOPED_TRACE(what);
    const ScopedCommonFolders places;
    ASSERT_TRUE(CreateLinkIcon(kRun, places.desktop + L"\\pinned.lnk", L"", L"", L""));
    const SandboxWatch watch = places.Watch();
    call(places);
    EXPECT_EQ(recorder.Records(), L"");
    EXPECT_TRUE(watch.Unchanged());
    EXPECT_FALSE(Exists(L"\\x.lnk") && ::DeleteFileW(L"\\x.lnk"));  // and a faulty run leaves none behind
  }
}

// The shell's own path handling overruns its stack on long paths, so this runs
// in a child with a time limit. From 260 characters on nothing reaches the
// shell and nothing is deleted; at 259 the link is unpinned and deleted.
TEST(Shortcuts, LongPathsNeverReachTheShell) {
  if (RanInChild(90000)) return;
  const ScopedTempDir dir;
  for (size_t length : {260, 259}) {  // of the link's path
    const wstring folder = dir.Child(wstring(length - dir.path().size() - 7, L'f'));
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) && WriteBytes(folder + L"\\x.lnk", "link"));
    DeleteTaskbarShortcut(folder, L"x.lnk");
    EXPECT_EQ(Exists(folder + L"\\x.lnk"), length == 260) << length;
  }
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
  const std::map<std::string, std::array<bool, 4>> versions = {{"winxp64", {1, 1, 0, 0}}, {"vista", {0, 0, 1, 0}},
      {"win7", {0, 0, 1, 1}}, {"win8", {0, 0, 1, 1}}, {"win81", {0, 1, 0, 1}}, {"win10", {0, 1, 0, 1}}};
  const char* name = std::getenv("TQ_EXPECTED_WINDOWS");
  ASSERT_TRUE(name && versions.count(name)) << "TQ_EXPECTED_WINDOWS names no version of the table";
  const auto [xp, start_menu, taskbar, pin] = versions.at(name);
  const ScopedCommonFolders places;
  const SandboxWatch watch = places.Watch();
  const wstring user_programs = GetSpecialFolderPath(CSIDL_PROGRAMS, false), none, plain = kRun + L"|C:\\Apps||||0";
  const wstring with_icon = kRun + L"|C:\\Apps|-q||C:\\Apps\\run.ico|0";
  // kind, place, folder, the folder of its link, program folder, the link read back (none when not made)
  const std::tuple<LinkType, wstring, wstring, wstring, wstring, wstring> rows[] = {
      {Desktop, places.desktop, GetSpecialFolderPath(CSIDL_DESKTOP, false), places.desktop, none, plain},
      {Taskbar, places.desktop, none, none, none, none},
      {QuickLaunch, places.quick_launch, places.quick_launch, places.quick_launch, none, xp ? plain : none},
      {Startup, places.startup, none, none, none, none},
      {ProgramFolder, places.programs, none, places.programs + L"\\Tessaquill", none, with_icon},
      {ProgramFolder, places.programs, none, places.programs + L"\\Quotes Test", L"Quotes Test", with_icon},
      {StartMenu, xp ? user_programs : places.start_menu, user_programs, places.start_menu, none, start_menu ? plain : none},
      {LinkType(6), none, none, none, none, none}, {LinkType(-1), none, none, none, none, none}, {LinkType(1000), none, none, none, none, none},
  };
  for (const auto& [kind, place, folder, link_folder, program_folder, read_back] : rows) {
    SCOPED_TRACE(kind);
    wstring path = L"stale";
    GetShortcutPath(kind, path);
    EXPECT_EQ(path, place);
    EXPECT_EQ(GetFolder(kind), folder);
    const wstring link = link_folder + L"\\matrix test.lnk";
    CreateShortcut(kind, kRun, L"matrix test.lnk", L"-q", L"C:\\Apps\\run.ico", program_folder);
    if (link_folder.empty()) continue;  // what it wrongly made, the watch sees
    EXPECT_EQ(ReadLink(link), read_back);
    ASSERT_TRUE(CreateLinkIcon(kRun, link, L"", L"", L""));
    DeleteShortcut(kind, L"", L"matrix test.lnk", program_folder);
    EXPECT_FALSE(Exists(kind == ProgramFolder ? link_folder : link));
  }
  EXPECT_TRUE(watch.Unchanged());

  const wstring folder = places.programs + L"\\Pin Test", link = folder + L"\\client.lnk";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) && CreateLinkIcon(kRun, link, L"", L"", L""));
  DeleteShortcut(Taskbar, folder, L"client.lnk", L"");
  EXPECT_FALSE(Exists(link));
  ScopedVerbRecorder recorder({L"TaskbarPin", L"TaskbarunPin", L"startpin", L"startunpin"});
  const std::tuple<std::function<void()>, bool, wstring> steps[] = {
      {[&] { PinToStartMenu(L"\\Pin Test\\client.lnk", true); }, false, L""},  // no file yet
      {[&] { CreateShortcut(Taskbar, folder, L"client.lnk", L"", L"", L""); }, false, L""},
      {[&] { CreateLinkIcon(kRun, link, L"", L"", L""); }, false, L""},
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
