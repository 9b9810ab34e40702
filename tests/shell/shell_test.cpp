// The link writer, the shortcut places and the pin verbs. shell_tests runs this
// in the shell prefix (Windows 10); each shell_<version> entry runs its
// ShellOnVersion tests in that version's prefix. The machine-wide keys and
// folders the tests change are put back.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
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

using common::ws2s;
using testing_support::SandboxWatch;
using testing_support::ScopedTempDir;

const std::wstring kRun = L"C:\\Apps\\run.exe", kNul(1, L'\0');
constexpr wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The link as the shell loads it, "target|working folder|arguments|description|icon|icon index"; empty when it cannot.
std::wstring ReadLink(const std::wstring& file) {
  win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  win::ComPtr<IShellLinkW> link;
  win::ComPtr<IPersistFile> persist;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
      FAILED(link.As(&persist)) || FAILED(persist->Load(file.c_str(), STGM_READ)))
    return L"";
  constexpr int kChars = 32768;  // the longest text a link holds, and its NUL
  std::vector<std::wstring> text(5, std::wstring(kChars, L'\0'));
  int index = -1;
  link->GetPath(&text[0][0], kChars, nullptr, SLGP_RAWPATH);
  link->GetWorkingDirectory(&text[1][0], kChars);
  link->GetArguments(&text[2][0], kChars);
  link->GetDescription(&text[3][0], kChars);
  link->GetIconLocation(&text[4][0], kChars, &index);
  std::wstring fields;
  for (const std::wstring& field : text) fields += field.c_str() + std::wstring(L"|");
  return fields + std::to_wstring(index);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// One "Shell Folders" value of one registry view set, or removed when no value
// is given, for the scope; afterwards the key is as it was. A prefix whose Wine
// runs 32-bit programs has the 32-bit view's key from its first boot, a
// 64-bit-only one lacks it.
class ScopedShellFolder {
 public:
  ScopedShellFolder(const wchar_t* name, const wchar_t* value, REGSAM view) : name_(name), view_(view) {
    DWORD disposition = 0;
    ok_ = key_.Create(HKEY_LOCAL_MACHINE, kShellFolders, KEY_READ | KEY_WRITE | view, &disposition) == ERROR_SUCCESS;
    created_ = ok_ && disposition == REG_CREATED_NEW_KEY;
    had_value_ = ok_ && key_.ReadString(name, &old_value_) == ERROR_SUCCESS;
    if (ok_ && (value || had_value_))
      ok_ = (value ? key_.WriteString(name, value) : key_.DeleteValue(name)) == ERROR_SUCCESS;
  }
  ~ScopedShellFolder() {
    if (created_) {
      key_.reset();
      ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, view_, 0);
    } else {
      had_value_ ? key_.WriteString(name_, old_value_) : key_.DeleteValue(name_);
    }
  }
  bool ok() const { return ok_; }

 private:
  const wchar_t* name_;
  const REGSAM view_;
  win::RegistryKey key_;
  std::wstring old_value_;
  bool created_ = false, had_value_ = false, ok_ = false;
};

// For the object's life the machine's common folders lie in a fresh folder, in
// both views (a 32-bit process reads every value from the 32-bit one, a 64-bit
// one the Start menu's): Desktop, Start Menu, its Programs and Programs\Startup.
// Each of them, the folder beside them, the user's Quick Launch folder and the
// folder beside that hold bystanders (PlantBystanders); Watch() records all of
// them and the renames pending at the next restart.
class ScopedCommonFolders {
 public:
  ScopedCommonFolders() {
    const wchar_t* names[] = {L"Common Desktop", L"Common Start Menu", L"Common Programs", L"Common Startup"};
    const std::wstring* folders[] = {&desktop, &start_menu, &programs, &startup};
    for (int i = 0; i < 8; ++i)
      values_[i] = std::make_unique<ScopedShellFolder>(names[i % 4], folders[i % 4]->c_str(),
                                                       i < 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    for (const std::wstring& folder : {root.path(), start_menu, desktop, programs, startup, quick_launch, beside_quick_launch_})
      testing_support::PlantBystanders(folder);
  }
  bool ok() const { return std::all_of(std::begin(values_), std::end(values_), [](auto& value) { return value->ok(); }); }
  SandboxWatch Watch() const { return SandboxWatch({root.path(), beside_quick_launch_}, {testing_support::kPendingRenamesKey}); }

  const ScopedTempDir root;
  const std::wstring desktop = root.Child(L"Desktop"), start_menu = root.Child(L"Start Menu"),
                     programs = start_menu + L"\\Programs", startup = programs + L"\\Startup",
                     quick_launch = common::GetSpecialFolderPath(CSIDL_APPDATA, false) + L"\\Microsoft\\Internet Explorer\\Quick Launch";

 private:
  const std::wstring beside_quick_launch_ = quick_launch.substr(0, quick_launch.rfind(L'\\'));
  std::unique_ptr<ScopedShellFolder> values_[8];  // destroyed last first: the one that made a key deletes it
};

// lnkfile verbs, under a key that must be new, whose command runs
// shell_recorder.exe, which records "VERB|FILE" lines in UTF-16.
class ScopedVerbRecorder {
 public:
  explicit ScopedVerbRecorder(const std::vector<std::wstring>& verbs) {
    const std::wstring self = testing_support::SelfPath();
    const std::wstring recorder = self.substr(0, self.rfind(L'\\') + 1) + L"shell_recorder.exe";
    DWORD disposition = 0;
    ok_ = created_ = verbs_.Create(HKEY_LOCAL_MACHINE, kVerbs, KEY_WRITE, &disposition) == ERROR_SUCCESS &&
                     disposition == REG_CREATED_NEW_KEY;
    for (const std::wstring& verb : verbs) {
      win::RegistryKey command;
      ok_ = ok_ && command.Create(verbs_.get(), (verb + L"\\command").c_str(), KEY_WRITE) == ERROR_SUCCESS &&
            command.WriteString(nullptr, L"\"" + recorder + L"\" \"" + records_ + L"\" " + verb + L" \"%1\"") ==
                ERROR_SUCCESS;
    }
  }
  ~ScopedVerbRecorder() {
    Records();
    verbs_.reset();
    if (created_) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kVerbs);
  }
  bool ok() const { return ok_; }

  // The records once no handler runs any more: the shell starts one and returns.
  std::wstring Records() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto running = [](const auto& process) { return _wcsicmp(process.name.c_str(), L"shell_recorder.exe") == 0; };
    for (auto list = testing_support::ProcessList(); std::any_of(list.begin(), list.end(), running) &&
                                                     std::chrono::steady_clock::now() < deadline;
         list = testing_support::ProcessList())
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string bytes = testing_support::ReadBytes(records_);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  }

 private:
  static constexpr wchar_t kVerbs[] = L"Software\\Classes\\lnkfile\\shell";
  win::RegistryKey verbs_;
  const ScopedTempDir dir_;
  const std::wstring records_ = dir_.Child(L"records.txt");
  bool ok_ = false, created_ = false;
};

// Each row replaces the link of the row before. Pairs of backslashes collapse
// before slashes become backslashes. Empty arguments and description are
// neither set nor logged. The working folder is the normalised target's, with
// the root dropped by PathAppendW, none for a bare name. The icon is the target's .ico.
TEST(CreateLinkIcon, WritesAndLogsEachFieldWithSeparatorsNormalised) {
  const ScopedTempDir dir;
  const std::wstring link = dir.Child(L"client.lnk");
  std::wstring save_path = dir.path() + L"\\\\client.lnk";
  save_path[2] = L'/';
  const struct {
    std::wstring given, arguments, description, stored, folder;
  } rows[] = {
      {L"C:\\Apps\\Client\\run.exe", L"-s -x", L"Quotes and news", L"C:\\Apps\\Client\\run.exe", L"C:\\Apps\\Client"},
      {L"C:/Apps/Client/run.exe", L"", L"", L"C:\\Apps\\Client\\run.exe", L"C:\\Apps\\Client"},
      {L"C:\\\\Apps\\\\Client\\\\run.exe", L"", L"", L"C:\\Apps\\Client\\run.exe", L"C:\\Apps\\Client"},
      {L"\\\\server\\share\\run.exe", L"", L"", L"\\server\\share\\run.exe", L"server\\share"},
      {L"run.exe", L"", L"", L"run.exe", L""},
      {L"C:\\Apps\\\\\\Client\\run.exe", L"", L"", L"C:\\Apps\\\\Client\\run.exe", L"C:\\Apps\\\\Client"},
      {L"C:\\Apps\\\\\\\\Client\\run.exe", L"", L"", L"C:\\Apps\\\\Client\\run.exe", L"C:\\Apps\\\\Client"},
      {L"C:\\Apps//Client\\run.exe", L"", L"", L"C:\\Apps\\\\Client\\run.exe", L"C:\\Apps\\\\Client"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ws2s(row.given));
    const std::wstring icon = row.stored.substr(0, row.stored.size() - 3) + L"ico";
    const testing_support::LogWatch log;
    ASSERT_TRUE(common::CreateLinkIcon(row.given, save_path, row.arguments, row.given.substr(0, row.given.size() - 3) + L"ico",
                                       row.description));
    std::wstring logged = L"CreateLinkIcon sDstFileTrimed = " + row.stored + L"\nCreateLinkIcon szDirectory = " + row.folder;
    if (!row.arguments.empty()) logged += L"\nCreateLinkIcon sParam = " + row.arguments;
    if (!row.description.empty()) logged += L"\nCreateLinkIcon sDec = " + row.description;
    EXPECT_EQ(log.Added(), ws2s(logged + L"\nCreateLinkIcon sIconTrimed = " + icon + L"\nCreateLinkIcon sSavePathTrimed = " +
                                link + L"\n"));
    wchar_t full[MAX_PATH] = {};  // the shell keeps the target as a full path of its own making
    ::GetFullPathNameW(row.stored.c_str(), MAX_PATH, full, nullptr);
    EXPECT_EQ(ReadLink(link), full + (L"|" + row.folder + L"|" + row.arguments + L"|" + row.description + L"|" + icon + L"|0"));
  }
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
  const std::wstring link = dir.Child(L"new.lnk"), none, text(32767, L'x');
  const struct {
    const char* what;
    std::wstring target, save_path, arguments = L"", icon = L"", description = L"";
  } rows[] = {
      {"NUL in the target", kRun + kNul + L"x", link},
      {"NUL in the save path", kRun, link + kNul + L".txt"},
      {"NUL in the arguments", kRun, link, L"-a" + kNul},
      {"NUL in the icon", kRun, link, none, L"C:\\a.ico" + kNul},
      {"NUL in the description", kRun, link, none, none, kNul + L"x"},
      {"target of 260 characters", L"C:\\" + std::wstring(200, L'a') + L"\\" + std::wstring(56, L'b'), link},
      {"relative target whose full path has 260", std::wstring(MAX_PATH - ::GetCurrentDirectoryW(0, nullptr), L'r'), link},
      {"quote inside the target", L"C:\\a\"b\\run.exe", link},
      {"arguments of 32,767 characters", kRun, link, text},
      {"icon of 32,767 characters", kRun, link, none, text},
      {"description of 32,767 characters", kRun, link, none, none, text},
      {"over a file that is no link", kRun, dir.Child(L"keep.txt")},
      {"over a file with a link's header size only", kRun, dir.Child(L"other.lnk")},
      {"over a folder", kRun, dir.Child(L"sub")},
      {"empty save path", kRun, none},
      {"300-character save path", kRun, dir.Child(std::wstring(300, L'a') + L".lnk")},
      {"character no file name holds", kRun, dir.Child(L"a|b?.lnk")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const SandboxWatch watch({dir.path()});
    EXPECT_FALSE(common::CreateLinkIcon(row.target, row.save_path, row.arguments, row.icon, row.description));
    EXPECT_TRUE(watch.Unchanged());
  }
  const std::wstring missing_folder = dir.Child(L"no such folder\\x.lnk");
  const testing_support::LogWatch log;
  EXPECT_FALSE(common::CreateLinkIcon(kRun, missing_folder, L"", L"", L""));
  EXPECT_EQ(log.Added(), "CreateLinkIcon sDstFileTrimed = C:\\Apps\\run.exe\nCreateLinkIcon szDirectory = C:\\Apps\n"
                         "CreateLinkIcon sSavePathTrimed = " + ws2s(missing_folder) + "\nCreateLinkIcon ppf->Save fail : hres = " +
                             std::to_string(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) + "\n");
}

// Up to the limits every text is stored whole, over an earlier link; an empty
// target gives a link without one. With TQ_LINK_OUTPUT the links stay in that
// folder for check_links.sh: lnkinfo reads them, sharing nothing with the shell.
TEST(CreateLinkIcon, HoldsTextUpToItsLimitsForEveryReader) {
  const ScopedTempDir temp;
  wchar_t given[MAX_PATH] = {};
  const std::wstring out = ::GetEnvironmentVariableW(L"TQ_LINK_OUTPUT", given, MAX_PATH) ? given : temp.Child(L"links");
  testing_support::RemoveTree(out);
  ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
  const std::wstring text(32766, L'x'), icon = L"C:\\" + text.substr(3), folder = L"C:\\" + std::wstring(200, L'a');
  const std::wstring target = folder + L"\\" + std::wstring(55, L'b'), limits = out + L"\\limits.lnk";
  ASSERT_TRUE(common::CreateLinkIcon(L"", limits, L"", L"", L""));
  EXPECT_EQ(ReadLink(limits), L"|||||0");
  ASSERT_TRUE(common::CreateLinkIcon(target, limits, text, icon, text));
  EXPECT_EQ(ReadLink(limits), target + L"|" + folder + L"|" + text + L"|" + text + L"|" + icon + L"|0");
  ASSERT_TRUE(common::CreateLinkIcon(L"C:\\\\Apps\\\\Client\\\\run.exe", out + L"/full.lnk", L"--silent -x",
                                     L"C:/Apps/Client/run.ico", L"Quotes and news"));
  ASSERT_TRUE(common::CreateLinkIcon(L"\\\\server\\share\\run.exe", out + L"\\\\network.lnk", L"", L"", L""));
  ASSERT_TRUE(common::CreateLinkIcon(L"run.exe", out + L"\\bare.lnk", L"", L"", L""));
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
  const auto com_usable = [] {
    win::ComPtr<IShellLinkW> probe;
    return ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, probe.put_void()) !=
           CO_E_NOTINITIALIZED;
  };
  ASSERT_FALSE(com_usable());
  ASSERT_TRUE(common::CreateLinkIcon(kRun, dir.Child(L"c.lnk"), L"", L"", L""));
  EXPECT_FALSE(com_usable());
  HRESULT again = E_FAIL;
  std::thread([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_TRUE(common::CreateLinkIcon(kRun, dir.Child(L"m.lnk"), L"", L"", L""));
    again = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: the same apartment, still the thread's
    ::CoUninitialize();
    ::CoUninitialize();
  }).join();
  EXPECT_EQ(again, S_FALSE);
  EXPECT_EQ(ReadLink(dir.Child(L"c.lnk")), kRun + L"|C:\\Apps||||0");
}

// Versions no prefix reports (the matrix runs the others), one that could not
// be read among them: Quick Launch, Start menu, the user's own Start menu,
// taskbar, pin verbs.
TEST(VersionGates, DecideWhichShortcutsAreMade) {
  const std::pair<common::WindowsVersion, std::string> rows[] = {
      {{false, 0}, "00010"}, {{true, 0x1200}, "01000"}, {{true, 0x1400}, "01000"}, {{true, 0x2000}, "01001"}};
  for (const auto& [version, expected] : rows) {
    std::string made;
    for (bool applies : {common::QuickLaunchShortcutsApply(version), common::StartMenuShortcutsApply(version),
                         common::StartMenuIsTheUsersOwn(version), common::TaskbarShortcutsApply(version),
                         common::PinVerbsApply(version.code)})
      made += applies ? '1' : '0';
    EXPECT_EQ(made, expected) << version.code;
  }
}

// Names that leave their folder or that no file can have, NUL characters,
// kinds outside 0 to 5, files that are not links, text no link holds and the
// Start menu without its 32-bit value: nothing happens. No bystander in or
// beside the common folders (fresh for each row) changes, nothing waits for
// the next restart, the shell runs no verb and nothing lands in the drive's root.
TEST(Shortcuts, BadInputLeavesEveryBystander) {
  using namespace common;  // NOLINT: the rows name many of its functions
  ScopedVerbRecorder recorder({L"TaskbarPin", L"TaskbarunPin", L"startpin"});
  ASSERT_TRUE(recorder.ok());
  const std::wstring up = L"..\\keep.txt", cut = L"pinned.lnk" + kNul + L"x";  // cut at the NUL: an existing link
  const struct {
    const char* what;
    std::function<void(const ScopedCommonFolders&)> call;
  } rows[] = {
      {"program folder .", [](auto&) { DeleteStartMenuProgramFolder(L"."); }},
      {"program folder ..", [](auto&) { DeleteStartMenuProgramFolder(L".."); }},
      {"program folder ...", [](auto&) { DeleteStartMenuProgramFolder(L"..."); }},
      {"program folder NUL", [](auto&) { DeleteStartMenuProgramFolder(kNul); }},
      {"program folder Startup\\..", [](auto&) { DeleteShortcut(ProgramFolder, L"", L"", L"Startup\\.."); }},
      {"desktop ..\\", [&](auto&) { DeleteShortcut(Desktop, L"", up, L""); }},
      {"desktop name cut at NUL", [](auto&) { DeleteShortcut(Desktop, L"", L"keep.txt" + kNul + L"x", L""); }},
      {"NUL in a folder the kind ignores", [](auto&) { DeleteShortcut(Desktop, kNul, L"keep.txt", L""); }},
      {"start menu sub\\", [](auto&) { DeleteShortcut(StartMenu, L"", L"Programs\\keep.txt", L""); }},
      {"quick launch ..\\", [&](auto&) { DeleteQuicklaunchShortcut(up); }},
      {"taskbar ..\\", [&](auto& p) { DeleteShortcut(Taskbar, p.desktop, up, L""); }},
      {"taskbar folder cut at NUL", [](auto& p) { DeleteTaskbarShortcut(p.desktop + L"\\keep.txt" + kNul, L"x.lnk"); }},
      {"taskbar name cut at NUL", [&](auto& p) { CreateTaskbarShortcut(p.desktop, cut); }},
      {"taskbar pin cut at NUL", [&](auto& p) { PinToTaskBarShortCut(p.desktop + L"\\" + cut, true); }},
      {"start pin cut at NUL", [&](auto& p) { PinToStartMenuShortcut(p.desktop + L"\\" + cut, true); }},
      {"start menu pin cut at NUL", [&](auto&) { PinToStartMenu(L"\\" + cut, true); }},
      {"new desktop ..\\", [](auto&) { CreateShortcut(Desktop, kRun, L"..\\x.lnk", L"", L"", L""); }},
      {"new start menu sub\\", [](auto&) { CreateShortcut(StartMenu, kRun, L"Programs\\x.lnk", L"", L"", L""); }},
      {"new quick launch ..\\", [](auto&) { CreateQucklaunchShortcut(kRun, L"..\\x.lnk"); }},
      {"new program folder ..", [](auto&) { CreateShortcut(ProgramFolder, kRun, L"x.lnk", L"", L"", L".."); }},
      {"new program folder a|b", [](auto&) { CreateShortcut(ProgramFolder, kRun, L"x.lnk", L"", L"", L"a|b"); }},
      {"new in program folder ..\\", [](auto&) { CreateShortcut(ProgramFolder, kRun, L"..\\x.lnk", L"", L"", L""); }},
      {"program folder without separators", [](auto&) { CreateStartMenuProgramFolder(L"Tq", kRun, L"x.lnk", L"", L""); }},
      {"empty program folder", [](auto&) { CreateStartMenuProgramFolder(L"", kRun, L"x.lnk", L"", L""); }},
      {"program folder \\..\\", [](auto&) { CreateStartMenuProgramFolder(L"\\..\\", kRun, L"x.lnk", L"", L""); }},
      {"program folder cut at NUL", [](auto&) { CreateStartMenuProgramFolder(L"\\Tq\\" + kNul, kRun, L"x.lnk", L"", L""); }},
      {"NUL in a string the kind ignores", [](auto&) { CreateShortcut(Desktop, kRun, L"x.lnk", kNul, L"", L""); }},
      {"target cut at NUL", [](auto&) { CreateShortcut(Desktop, kRun + kNul + L"x", L"x.lnk", L"", L"", L""); }},
      {"link name cut at NUL", [](auto&) { CreateDesktopShortcut(kRun, L"x.lnk" + kNul + L".txt"); }},
      {"arguments with NUL", [](auto&) { CreateShortcut(ProgramFolder, kRun, L"x.lnk", L"-a" + kNul, L"", L""); }},
      {"name no file can have", [](auto&) { CreateShortcut(Desktop, kRun, L"a|b?.lnk", L"", L"", L""); }},
      {"target too long", [](auto&) { CreateShortcut(ProgramFolder, L"C:\\" + std::wstring(300, L'a'), L"x.lnk", L"", L"", L"New"); }},
      {"over a file that is no link", [](auto&) { CreateShortcut(Desktop, kRun, L"keep.txt", L"", L"", L""); }},
      {"over a file in a program folder", [](auto&) { CreateStartMenuProgramFolder(L"\\sub\\", kRun, L"inner.txt", L"", L""); }},
      {"new kind 6", [](auto&) { CreateShortcut(LinkType(6), kRun, L"x.lnk", L"", L"", L""); }},
      {"new kind -1", [](auto&) { CreateShortcut(LinkType(-1), kRun, L"x.lnk", L"", L"", L""); }},
      {"kind 6", [](auto& p) { DeleteShortcut(LinkType(6), p.desktop, L"keep.txt", L""); }},
      {"kind 1000", [](auto& p) { DeleteShortcut(LinkType(1000), p.desktop, L"keep.txt", L""); }},
      {"no Start menu in the 32-bit view", [](auto&) {
         const ScopedShellFolder none(L"Common Start Menu", nullptr, KEY_WOW64_32KEY);
         CreateShortcut(StartMenu, kRun, L"x.lnk", L"", L"", L"");
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const ScopedCommonFolders places;
    ASSERT_TRUE(places.ok());
    for (const std::wstring& folder : {places.desktop, places.programs})
      ASSERT_TRUE(CreateLinkIcon(kRun, folder + L"\\pinned.lnk", L"", L"", L""));
    const std::wstring verbs = recorder.Records();
    const SandboxWatch watch = places.Watch();
    row.call(places);
    EXPECT_EQ(recorder.Records(), verbs);
    EXPECT_TRUE(watch.Unchanged());
    EXPECT_FALSE(Exists(L"\\x.lnk"));
  }
}

// The shell's own path handling overruns its stack on long paths, so these
// kRun in a child with a time limit. From 260 characters on nothing reaches
// the shell and nothing is deleted; at 259 the link is unpinned and deleted.
TEST(Shortcuts, LongPathsNeverReachTheShell) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("Shortcuts.LongPathsNeverReachTheShell", {}, 90000), 0);
    return;
  }
  const ScopedTempDir dir;
  const std::wstring& top = dir.path();
  // The folder whose x.lnk has a path of that length.
  const auto folder_of = [&](size_t length) { return dir.Child(std::wstring(length - top.size() - 7, L'f')); };
  std::wstring deep = top;
  while (deep.size() < 1000) ASSERT_TRUE(::CreateDirectoryW((deep += L"\\" + std::wstring(200, L'd')).c_str(), nullptr));
  for (const std::wstring& folder : {deep, folder_of(259), folder_of(260)}) {
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteBytes(folder + L"\\x.lnk", "link"));
  }
  const SandboxWatch watch({top});
  common::DeleteTaskbarShortcut(folder_of(260), L"x.lnk");
  common::DeleteTaskbarShortcut(deep, L"x.lnk");
  common::DeleteShortcut(common::Taskbar, deep, L"x.lnk", L"");
  common::CreateTaskbarShortcut(deep, L"x.lnk");
  common::PinToTaskBarShortCut(deep + L"\\x.lnk", false);
  common::PinToStartMenuShortcut(deep + L"\\x.lnk", true);
  EXPECT_TRUE(watch.Unchanged());
  common::DeleteTaskbarShortcut(folder_of(259), L"x.lnk");
  EXPECT_FALSE(Exists(folder_of(259) + L"\\x.lnk"));
}

// One Windows version per run: TQ_EXPECTED_WINDOWS names the `winecfg /v`
// version the prefix reports, and the table what that version must get.
struct Expected {
  const char* windows;
  bool xp;  // Quick Launch links, and the user's own Start menu
  bool start_menu, taskbar, pin;
};
const Expected kVersions[] = {
    {"winxp64", true, true, false, false}, {"vista", false, false, true, false}, {"win7", false, false, true, true},
    {"win8", false, false, true, true},    {"win81", false, true, false, true},  {"win10", false, true, false, true},
};

class ShellOnVersion : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("TQ_EXPECTED_WINDOWS");
    if (!name) GTEST_SKIP() << "TQ_EXPECTED_WINDOWS names the version this prefix reports";
    for (const Expected& e : kVersions)
      if (std::strcmp(e.windows, name) == 0) expected_ = &e;
    ASSERT_NE(expected_, nullptr) << "no expectations for " << name;
  }
  const Expected* expected_ = nullptr;
};

// Where links of each kind lie (GetShortcutPath), the user's own folder of the
// kind (GetFolder), and where the kind's link is made and deleted again.
// Deleting has no version test: each link is made again before it is deleted.
// Only a program folder's link takes arguments and an icon, and the folder
// goes whole; nothing else in the common folders changes.
TEST_F(ShellOnVersion, PlacesAndTheLinksOfEachKind) {
  const ScopedCommonFolders places;
  ASSERT_TRUE(places.ok());
  const SandboxWatch watch = places.Watch();
  const std::wstring user_programs = common::GetSpecialFolderPath(CSIDL_PROGRAMS, false), none;
  const struct {
    int kind;
    std::wstring place, folder, link_folder, program_folder;
    bool made;
  } rows[] = {
      {common::Desktop, places.desktop, common::GetSpecialFolderPath(CSIDL_DESKTOP, false), places.desktop, none, true},
      {common::Taskbar, places.desktop, none, none, none, false},
      {common::QuickLaunch, places.quick_launch, places.quick_launch, places.quick_launch, none, expected_->xp},
      {common::Startup, places.startup, none, none, none, false},
      {common::ProgramFolder, places.programs, none, places.programs + L"\\Tessaquill", none, true},
      {common::ProgramFolder, places.programs, none, places.programs + L"\\Quotes Test", L"Quotes Test", true},
      {common::StartMenu, expected_->xp ? user_programs : places.start_menu, user_programs, places.start_menu, none,
       expected_->start_menu},
      {6, none, none, none, none, false}, {-1, none, none, none, none, false}, {1000, none, none, none, none, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.kind);
    const auto kind = static_cast<common::LinkType>(row.kind);
    std::wstring path = L"stale";
    common::GetShortcutPath(kind, path);
    EXPECT_EQ(path, row.place);
    EXPECT_EQ(common::GetFolder(kind), row.folder);
    const std::wstring link = row.link_folder + L"\\matrix test.lnk";
    const bool program_folder = kind == common::ProgramFolder;
    common::CreateShortcut(kind, kRun, L"matrix test.lnk", L"-q", L"C:\\Apps\\run.ico", row.program_folder);
    if (row.link_folder.empty()) continue;  // what it wrongly made, the watch sees
    EXPECT_EQ(ReadLink(link), !row.made         ? L""
                              : program_folder ? kRun + L"|C:\\Apps|-q||C:\\Apps\\run.ico|0"
                                               : kRun + L"|C:\\Apps||||0");
    ASSERT_TRUE(common::CreateLinkIcon(kRun, link, L"", L"", L""));
    common::DeleteShortcut(kind, L"", L"matrix test.lnk", row.program_folder);
    EXPECT_FALSE(Exists(program_folder ? row.link_folder : link));
  }
  EXPECT_TRUE(watch.Unchanged());
}

// The taskbar kind's verb on Vista, 7 and 8, the pin verbs from Windows 7 on,
// each only for an existing file (verb names are keys, so case-blind). Deleting
// has no version test and removes the link even when the unpin verb fails, as
// it does before the recorder is registered. PinToStartMenu's path is relative
// to the common Programs folder and brings its own backslash.
TEST_F(ShellOnVersion, VerbsOnlyOnTheirVersionsAndOnlyForAnExistingFile) {
  const ScopedCommonFolders places;
  ASSERT_TRUE(places.ok());
  const std::wstring folder = places.programs + L"\\Pin Test", link = folder + L"\\client.lnk";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(common::CreateLinkIcon(kRun, link, L"", L"", L""));
  common::DeleteShortcut(common::Taskbar, folder, L"client.lnk", L"");
  EXPECT_FALSE(Exists(link));
  ScopedVerbRecorder recorder({L"TaskbarPin", L"TaskbarunPin", L"startpin", L"startunpin"});
  ASSERT_TRUE(recorder.ok());
  const bool pin = expected_->pin;
  const struct {
    std::function<void()> call;
    bool runs;
    std::wstring verb = L"";
  } steps[] = {
      {[&] {  // no file yet
         for (bool on : {true, false}) {
           common::PinToTaskBarShortCut(link, on);
           common::PinToStartMenuShortcut(link, on);
           common::PinToStartMenu(L"\\Pin Test\\client.lnk", on);
         }
         common::CreateShortcut(common::Taskbar, folder, L"client.lnk", L"", L"", L"");
         common::PinToTaskBarShortCut(L"", true);
         common::PinToStartMenuShortcut(std::wstring(300, L'a'), true);
         EXPECT_TRUE(common::CreateLinkIcon(kRun, link, L"", L"", L""));
       }, false},
      {[&] { common::CreateShortcut(common::Taskbar, folder, L"client.lnk", L"", L"", L""); }, expected_->taskbar, L"TaskbarPin"},
      {[&] { common::PinToTaskBarShortCut(link, true); }, pin, L"TaskbarPin"},
      {[&] { common::PinToTaskBarShortCut(link, false); }, pin, L"TaskbarunPin"},
      {[&] { common::PinToStartMenu(L"Pin Test\\client.lnk", true); }, false},  // runs into the folder's name
      {[&] { common::PinToStartMenu(L"\\Pin Test\\client.lnk", true); }, pin, L"startpin"},
      {[&] { common::PinToStartMenuShortcut(link, false); }, pin, L"startunpin"},
      {[&] { common::DeleteShortcut(common::Taskbar, folder, L"client.lnk", L""); }, true, L"TaskbarunPin"},
  };
  for (const auto& step : steps) {
    const std::wstring before = recorder.Records();
    step.call();
    EXPECT_EQ(recorder.Records(), before + (step.runs ? step.verb + L"|" + link + L"\n" : L"")) << ws2s(step.verb);
  }
  EXPECT_FALSE(Exists(link));
}

}  // namespace
