// What the shell tests share; the keys they add are machine-wide, so they run in prefixes of their own.
#ifndef TESTS_SHELL_SHELL_TEST_SUPPORT_H_
#define TESTS_SHELL_SHELL_TEST_SUPPORT_H_

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <chrono>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/sandbox.h"
#include "support/test_support.h"
#include "t_common/shortcuts.h"
#include "t_common/text.h"
#include "win/com.h"
#include "win/registry_key.h"
#include "win/scoped_handle.h"

namespace shell_test {

struct LinkFields {
  HRESULT load_result = E_FAIL;
  std::wstring target, working_folder, arguments, description, icon;
  int icon_index = -1;
};

// The link as IShellLinkW loads it (COM brought up for the call).
inline LinkFields ReadLink(const std::wstring& link_file) {
  win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  win::ComPtr<IShellLinkW> link;
  win::ComPtr<IPersistFile> file;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  if (SUCCEEDED(hr)) hr = link.As(&file);
  if (SUCCEEDED(hr)) hr = file->Load(link_file.c_str(), STGM_READ);
  if (FAILED(hr)) return {hr, L"", L"", L"", L"", L"", -1};
  constexpr int kChars = 32768;  // the longest text a link holds, and its NUL
  std::vector<std::wstring> text(5, std::wstring(kChars, L'\0'));
  int icon_index = -1;
  link->GetPath(&text[0][0], kChars, nullptr, SLGP_RAWPATH);
  link->GetWorkingDirectory(&text[1][0], kChars);
  link->GetArguments(&text[2][0], kChars);
  link->GetDescription(&text[3][0], kChars);
  link->GetIconLocation(&text[4][0], kChars, &icon_index);
  for (std::wstring& field : text) field.resize(field.find(L'\0'));
  return {hr, text[0], text[1], text[2], text[3], text[4], icon_index};
}

inline bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every name in the folder; empty when it cannot be listed.
inline std::set<std::wstring> FileNames(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  win::ScopedFindHandle search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  for (bool more = search.valid(); more; more = ::FindNextFileW(search.get(), &found)) names.insert(found.cFileName);
  return names;
}

constexpr wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A "Shell Folders" value of the machine's 64-bit view (a 32-bit process's
// plain reads go to the 32-bit one).
inline std::wstring MachineShellFolder(const wchar_t* name) {
  win::RegistryKey key;
  std::wstring folder;
  key.Open(HKEY_LOCAL_MACHINE, kShellFoldersKey, KEY_READ | KEY_WOW64_64KEY);
  key.ReadString(name, &folder);
  return folder;
}

// One value of the 32-bit view's "Shell Folders" key (the Start menu's place
// on 64-bit Windows) set, or removed when no value is given, for the scope;
// afterwards the key is as it was. A prefix whose Wine runs 32-bit programs
// has that key from its first boot, a 64-bit-only one lacks it.
class ScopedShellFolder32 {
 public:
  explicit ScopedShellFolder32(const wchar_t* name, const wchar_t* value = nullptr) : name_(name) {
    DWORD disposition = 0;
    ok_ = key_.Create(HKEY_LOCAL_MACHINE, kShellFoldersKey, KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, &disposition) ==
          ERROR_SUCCESS;
    created_ = ok_ && disposition == REG_CREATED_NEW_KEY;
    had_value_ = ok_ && key_.ReadString(name, &old_value_) == ERROR_SUCCESS;
    if (ok_ && value) ok_ = key_.WriteString(name, value) == ERROR_SUCCESS;
    if (ok_ && !value && had_value_) ok_ = key_.DeleteValue(name) == ERROR_SUCCESS;
  }
  ~ScopedShellFolder32() {
    if (created_) {
      key_.reset();
      ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kShellFoldersKey, KEY_WOW64_32KEY, 0);
    } else if (had_value_) {
      key_.WriteString(name_, old_value_);
    } else {
      key_.DeleteValue(name_);
    }
  }
  ScopedShellFolder32(const ScopedShellFolder32&) = delete;
  ScopedShellFolder32& operator=(const ScopedShellFolder32&) = delete;
  bool ok() const { return ok_; }

 private:
  const wchar_t* name_;
  win::RegistryKey key_;
  std::wstring old_value_;
  bool created_ = false, had_value_ = false, ok_ = false;
};

// An HKEY_LOCAL_MACHINE key that must be new under an existing parent (one
// left by an interrupted run makes ok() false); deleted at scope exit.
class ScopedNewMachineKey {
 public:
  explicit ScopedNewMachineKey(const std::wstring& path) : path_(path) {
    win::RegistryKey parent;
    DWORD disposition = 0;
    ok_ = parent.Open(HKEY_LOCAL_MACHINE, path.substr(0, path.rfind(L'\\')).c_str(), KEY_READ) == ERROR_SUCCESS &&
          key_.Create(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WRITE, &disposition) == ERROR_SUCCESS &&
          disposition == REG_CREATED_NEW_KEY;
  }
  ~ScopedNewMachineKey() {
    key_.reset();
    if (ok_) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
  }
  bool ok() const { return ok_; }
  win::RegistryKey& key() { return key_; }

 private:
  std::wstring path_;
  win::RegistryKey key_;
  bool ok_ = false;
};

// For the object's life the machine's common folders (both views) lie in a
// fresh folder: Desktop, Start Menu, its Programs and Programs\Startup. Each of
// them, the folder beside them, the user's Quick Launch folder and the folder
// beside that hold bystanders (PlantBystanders); Watch() records all of them
// and the renames pending at the next restart.
class ScopedCommonFolders {
 public:
  ScopedCommonFolders() {
    win::RegistryKey key;
    ok_ = key.Open(HKEY_LOCAL_MACHINE, kShellFoldersKey, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY) == ERROR_SUCCESS;
    for (const auto& view : views32_) ok_ = ok_ && view->ok();
    for (int i = 0; ok_ && i < 4; ++i) ok_ = key.ReadString(kValues[i], &saved_[i]) == ERROR_SUCCESS;
    restore_ = ok_;
    for (int i = 0; ok_ && i < 4; ++i) ok_ = key.WriteString(kValues[i], *folders_[i]) == ERROR_SUCCESS;
    for (const std::wstring& folder : {root.path(), start_menu, desktop, programs, startup, quick_launch, beside_quick_launch_})
      testing_support::PlantBystanders(folder);
  }
  ~ScopedCommonFolders() {
    win::RegistryKey key;
    if (restore_ && key.Open(HKEY_LOCAL_MACHINE, kShellFoldersKey, KEY_WRITE | KEY_WOW64_64KEY) == ERROR_SUCCESS)
      for (int i = 0; i < 4; ++i) key.WriteString(kValues[i], saved_[i]);
  }
  bool ok() const { return ok_; }
  testing_support::SandboxWatch Watch() const {
    return testing_support::SandboxWatch({root.path(), beside_quick_launch_}, {testing_support::kPendingRenamesKey});
  }

  const testing_support::ScopedTempDir root;
  const std::wstring desktop = root.Child(L"Desktop"), start_menu = root.Child(L"Start Menu"),
                     programs = start_menu + L"\\Programs", startup = programs + L"\\Startup",
                     quick_launch = common::GetFolder(common::QuickLaunch);

 private:
  static constexpr const wchar_t* kValues[4] = {L"Common Desktop", L"Common Start Menu", L"Common Programs",
                                                L"Common Startup"};
  const std::wstring* folders_[4] = {&desktop, &start_menu, &programs, &startup};
  const std::wstring beside_quick_launch_ = quick_launch.substr(0, quick_launch.rfind(L'\\'));
  // A 32-bit process reads every value from the 32-bit view, a 64-bit one the Start menu's.
  const std::unique_ptr<ScopedShellFolder32> views32_[4] = {
      std::make_unique<ScopedShellFolder32>(kValues[0], desktop.c_str()),
      std::make_unique<ScopedShellFolder32>(kValues[1], start_menu.c_str()),
      std::make_unique<ScopedShellFolder32>(kValues[2], programs.c_str()),
      std::make_unique<ScopedShellFolder32>(kValues[3], startup.c_str())};
  std::wstring saved_[4];
  bool ok_ = false, restore_ = false;
};

// lnkfile verbs whose command runs shell_recorder.exe, which records "verb|file".
class ScopedVerbRecorder {
 public:
  explicit ScopedVerbRecorder(const std::vector<std::wstring>& verbs) {
    const std::wstring self = testing_support::SelfPath();
    const std::wstring recorder = self.substr(0, self.rfind(L'\\') + 1) + L"shell_recorder.exe";
    for (const std::wstring& verb : verbs) {
      win::RegistryKey command;
      ok_ = ok_ && command.Create(verbs_.key().get(), (verb + L"\\command").c_str(), KEY_WRITE) == ERROR_SUCCESS &&
            command.WriteString(nullptr, L"\"" + recorder + L"\" \"" + records_ + L"\" " + verb + L" \"%1\"") ==
                ERROR_SUCCESS;
    }
  }
  ~ScopedVerbRecorder() { WaitUntilIdle(); }
  bool ok() const { return ok_; }

  // The shell starts a handler and returns: a test that cares about order waits after each verb.
  void WaitUntilIdle() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (RecorderRunning() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  std::vector<std::wstring> Records() {
    WaitUntilIdle();
    std::vector<std::wstring> lines;
    std::wistringstream text(common::s2ws(testing_support::ReadBytes(records_)));
    for (std::wstring line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

 private:
  static bool RecorderRunning() {
    for (const auto& process : testing_support::ProcessList())
      if (_wcsicmp(process.name.c_str(), L"shell_recorder.exe") == 0) return true;
    return false;
  }

  ScopedNewMachineKey verbs_{L"Software\\Classes\\lnkfile\\shell"};
  testing_support::ScopedTempDir dir_;
  const std::wstring records_ = dir_.Child(L"records.txt");
  bool ok_ = verbs_.ok();
};

}  // namespace shell_test

#endif  // TESTS_SHELL_SHELL_TEST_SUPPORT_H_
