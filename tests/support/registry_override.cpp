#include "support/registry_override.h"

#include <cstdio>

namespace testing_support {

ScopedRegistryOverride::ScopedRegistryOverride(HKEY root) : root_(root) {
  static LONG counter = 0;
  wchar_t name[32] = {};
  std::swprintf(name, 32, L"%lu_%ld", ::GetCurrentProcessId(), ::InterlockedIncrement(&counter));
  substitute_name_ = name;
  ok_ = parent_.Create(HKEY_CURRENT_USER, L"Software\\t_common tests", KEY_ALL_ACCESS) == ERROR_SUCCESS &&
        substitute_.Create(parent_.get(), name, KEY_ALL_ACCESS) == ERROR_SUCCESS &&
        ::RegOverridePredefKey(root_, substitute_.get()) == ERROR_SUCCESS;
}

ScopedRegistryOverride::~ScopedRegistryOverride() {
  if (ok_) ::RegOverridePredefKey(root_, nullptr);
  substitute_.reset();
  if (parent_.valid()) ::RegDeleteTreeW(parent_.get(), substitute_name_.c_str());
}

namespace {
const wchar_t kSharedFolderVariable[] = L"TQ_TEST_APPDATA";
}  // namespace

ScopedAppDataOverride::ScopedAppDataOverride() : user_(HKEY_CURRENT_USER) {
  wchar_t inherited[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(kSharedFolderVariable, inherited, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    path_ = inherited;
  } else {
    owned_folder_ = std::make_unique<ScopedTempDir>();
    path_ = owned_folder_->path();
    ::SetEnvironmentVariableW(kSharedFolderVariable, path_.c_str());
  }
  win::RegistryKey folders;
  ok_ = user_.ok() &&
        folders.Create(HKEY_CURRENT_USER,
                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                       KEY_SET_VALUE) == ERROR_SUCCESS &&
        folders.WriteString(L"AppData", path_) == ERROR_SUCCESS;
}

ScopedAppDataOverride::~ScopedAppDataOverride() {
  if (owned_folder_) ::SetEnvironmentVariableW(kSharedFolderVariable, nullptr);
}

}  // namespace testing_support
