#include "shell/shell_test_support.h"

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "t_common/text.h"
#include "win/com.h"
#include "win/registry_key.h"
#include "win/scoped_handle.h"

namespace shell_test {

namespace {

constexpr wchar_t kShellFolders[] = L"Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool MachineKeyExists(const std::wstring& path) {
  win::RegistryKey key;
  return key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ) == ERROR_SUCCESS;
}

// Creates the key with every missing level; returns the outermost level that
// was missing (empty when the key was there), or false.
bool CreateMachineKey(const std::wstring& path, std::wstring* first_created) {
  first_created->clear();
  for (size_t end = path.find(L'\\'); ; end = path.find(L'\\', end + 1)) {
    const std::wstring level = path.substr(0, end);
    if (!MachineKeyExists(level)) {
      *first_created = level;
      break;
    }
    if (end == std::wstring::npos) break;
  }
  win::RegistryKey key;
  return key.Create(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WRITE) == ERROR_SUCCESS;
}

bool RecorderRunning() {
  win::ScopedSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, L"shell_recorder.exe") == 0) return true;
  }
  return false;
}

std::wstring RecorderPath() {
  const std::wstring self = testing_support::SelfPath();
  return self.substr(0, self.find_last_of(L'\\') + 1) + L"shell_recorder.exe";
}

}  // namespace

LinkFields ReadLink(const std::wstring& link_file) {
  LinkFields fields;
  win::ScopedComInitializer com(COINIT_APARTMENTTHREADED);
  win::ComPtr<IShellLinkW> link;
  win::ComPtr<IPersistFile> file;
  fields.load_result =
      ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  if (SUCCEEDED(fields.load_result)) fields.load_result = link.As(&file);
  if (SUCCEEDED(fields.load_result)) fields.load_result = file->Load(link_file.c_str(), STGM_READ);
  if (FAILED(fields.load_result)) return fields;
  wchar_t text[1024] = {};
  link->GetPath(text, 1024, nullptr, SLGP_RAWPATH);
  fields.target = text;
  text[0] = L'\0';
  link->GetWorkingDirectory(text, 1024);
  fields.working_folder = text;
  text[0] = L'\0';
  link->GetArguments(text, 1024);
  fields.arguments = text;
  text[0] = L'\0';
  link->GetDescription(text, 1024);
  fields.description = text;
  text[0] = L'\0';
  link->GetIconLocation(text, 1024, &fields.icon_index);
  fields.icon = text;
  return fields;
}

ScopedVerbRecorder::ScopedVerbRecorder(const std::vector<std::wstring>& verbs)
    : record_file_(dir_.Child(L"records.txt")) {
  for (const std::wstring& verb : verbs) {
    const std::wstring path = L"Software\\Classes\\lnkfile\\shell\\" + verb + L"\\command";
    std::wstring first_created;
    win::RegistryKey command;
    if (!CreateMachineKey(path, &first_created) ||
        command.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WRITE) != ERROR_SUCCESS ||
        command.WriteString(nullptr, L"\"" + RecorderPath() + L"\" \"" + record_file_ + L"\" " + verb +
                                         L" \"%1\"") != ERROR_SUCCESS) {
      ok_ = false;
    }
    if (!first_created.empty()) created_.push_back(first_created);
  }
}

ScopedVerbRecorder::~ScopedVerbRecorder() {
  WaitUntilIdle();  // no recorder may still write into the folder being deleted
  for (auto key = created_.rbegin(); key != created_.rend(); ++key) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key->c_str());
}

void ScopedVerbRecorder::WaitUntilIdle() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (RecorderRunning() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::vector<std::wstring> ScopedVerbRecorder::Records() {
  WaitUntilIdle();
  std::vector<std::wstring> lines;
  std::wistringstream text(common::s2ws(testing_support::ReadBytes(record_file_)));
  for (std::wstring line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

ScopedStartMenu32View::ScopedStartMenu32View(const std::wstring& folder) {
  const std::wstring path = std::wstring(L"Software\\Wow6432Node\\") + kShellFolders;
  win::RegistryKey key;
  std::wstring existing;
  if (!CreateMachineKey(path, &first_created_) ||
      key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WRITE) != ERROR_SUCCESS) {
    return;
  }
  value_created_ = key.ReadString(L"Common Start Menu", &existing) != ERROR_SUCCESS;
  // A prefix that already has the 32-bit view keeps its own value: a test
  // needs one it can point at a folder of its own.
  ok_ = value_created_ && key.WriteString(L"Common Start Menu", folder) == ERROR_SUCCESS;
}

ScopedStartMenu32View::~ScopedStartMenu32View() {
  if (!first_created_.empty()) {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, first_created_.c_str());
  } else if (value_created_) {
    win::RegistryKey key;
    const std::wstring path = std::wstring(L"Software\\Wow6432Node\\") + kShellFolders;
    if (key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WRITE) == ERROR_SUCCESS) key.DeleteValue(L"Common Start Menu");
  }
}

std::wstring MachineShellFolder(const wchar_t* name) {
  win::RegistryKey key;
  std::wstring folder;
  if (key.Open(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\") + kShellFolders).c_str(), KEY_READ) == ERROR_SUCCESS)
    key.ReadString(name, &folder);
  return folder;
}

}  // namespace shell_test
