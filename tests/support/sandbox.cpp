#include "support/sandbox.h"

#include <shlobj.h>

#include "support/test_support.h"
#include "win/registry_key.h"

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
  ForEachName(path + L"\\*", [&](const std::wstring& name) { AddTree(path + L"\\" + name, out); });
}

// Names of a key's values (values) or subkeys, any length of data.
std::vector<std::wstring> Names(HKEY key, bool values) {
  std::vector<std::wstring> names;
  wchar_t name[16384];
  for (DWORD i = 0, length = 16384;
       (values ? ::RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr)
               : ::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr)) == ERROR_SUCCESS;
       ++i, length = 16384)
    names.push_back(name);
  return names;
}

void AddKey(HKEY root, const std::wstring& path, std::map<std::wstring, std::string>* out) {
  win::RegistryKey key;
  if (key.Open(root, path.c_str(), KEY_READ) != ERROR_SUCCESS) return;
  (*out)[L"HKEY " + path + L"\\"] = "<key>";
  for (const std::wstring& name : Names(key.get(), true)) {
    std::vector<BYTE> data;
    key.ReadBinary(name.c_str(), &data);
    (*out)[L"HKEY " + path + L"\\" + name + L"="] = std::string(data.begin(), data.end());
  }
  for (const std::wstring& subkey : Names(key.get(), false)) AddKey(root, path + L"\\" + subkey, out);
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
