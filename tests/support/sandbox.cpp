#include "support/sandbox.h"

#include <shlobj.h>

#include "support/test_support.h"
#include "win/registry_key.h"
#include "win/scoped_handle.h"

namespace testing_support {
namespace {

void AddTree(const std::wstring& path, std::map<std::wstring, std::string>* out) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    (*out)[path] = ReadBytes(path);
    return;
  }
  (*out)[path + L"\\"] = "<folder>";
  WIN32_FIND_DATAW data;
  const win::ScopedFindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") AddTree(path + L"\\" + name, out);
  } while (::FindNextFileW(find.get(), &data));
}

void AddKey(HKEY root, const std::wstring& path, std::map<std::wstring, std::string>* out) {
  win::RegistryKey key;
  if (key.Open(root, path.c_str(), KEY_READ) != ERROR_SUCCESS) return;
  (*out)[L"HKEY " + path + L"\\"] = "<key>";
  wchar_t name[16384];
  BYTE data[65536];
  for (DWORD i = 0;; ++i) {
    DWORD name_length = 16384, type = 0, bytes = sizeof data;
    if (::RegEnumValueW(key.get(), i, name, &name_length, nullptr, &type, data, &bytes) != ERROR_SUCCESS) break;
    (*out)[L"HKEY " + path + L"\\" + name + L"="] =
        std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), bytes);
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD name_length = 16384;
    if (::RegEnumKeyExW(key.get(), i, name, &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.push_back(path.empty() ? name : path + L"\\" + name);
  }
  for (const std::wstring& subkey : subkeys) AddKey(root, subkey, out);
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (const wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

}  // namespace

void PlantBystanders(const std::wstring& folder) {
  ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  ::CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
  WriteBytes(folder + L"\\keep.txt", "keep");
  WriteBytes(folder + L"\\keep.db", "not a database");
  WriteBytes(folder + L"\\sub\\inner.txt", "inner");
}

SandboxWatch::SandboxWatch(std::vector<std::wstring> folders, std::vector<std::pair<HKEY, std::wstring>> keys)
    : folders_(std::move(folders)), keys_(std::move(keys)), before_(Take()) {}

SandboxWatch::Snapshot SandboxWatch::Take() const {
  Snapshot snapshot;
  for (const std::wstring& folder : folders_) AddTree(folder, &snapshot);
  for (const auto& [root, path] : keys_) AddKey(root, path, &snapshot);
  return snapshot;
}

::testing::AssertionResult SandboxWatch::Unchanged() const {
  const Snapshot after = Take();
  std::string changes;
  for (const auto& [name, content] : before_) {
    const auto found = after.find(name);
    if (found == after.end()) changes += "\n  gone: " + Narrow(name);
    else if (found->second != content) changes += "\n  changed: " + Narrow(name);
  }
  for (const auto& [name, content] : after)
    if (!before_.count(name)) changes += "\n  new: " + Narrow(name);
  if (changes.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the sandbox changed:" << changes;
}

}  // namespace testing_support
