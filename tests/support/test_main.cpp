// The main of every test program: nothing a test writes reaches the prefix's
// real per-user state. HKEY_CURRENT_USER becomes a fresh key under the real
// one (deleted at exit) whose "User Shell Folders" name a temporary roaming
// application-data folder, which SHGetFolderPathW follows for every module,
// t_base's program log too. Child runs (RunSelfInChild) get the same folder
// through the environment; the run that made it deletes it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>

#include "support/test_support.h"
#include "win/registry_key.h"

namespace {

const wchar_t kSharedFolderVariable[] = L"TQ_TEST_APPDATA";
const wchar_t kSubstitutes[] = L"Software\\t_common tests";

class ScopedAppDataOverride {
 public:
  ScopedAppDataOverride() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(kSharedFolderVariable, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      owned_folder_ = std::make_unique<testing_support::ScopedTempDir>();
      ::SetEnvironmentVariableW(kSharedFolderVariable, owned_folder_->path().c_str());
      ::GetEnvironmentVariableW(kSharedFolderVariable, folder, MAX_PATH);
    }
    std::swprintf(substitute_name_, 32, L"%lu", ::GetCurrentProcessId());
    win::RegistryKey substitute, folders;
    overridden_ = parent_.Create(HKEY_CURRENT_USER, kSubstitutes, KEY_ALL_ACCESS) == ERROR_SUCCESS &&
                  substitute.Create(parent_.get(), substitute_name_, KEY_ALL_ACCESS) == ERROR_SUCCESS &&
                  ::RegOverridePredefKey(HKEY_CURRENT_USER, substitute.get()) == ERROR_SUCCESS;
    ok_ = overridden_ &&
          folders.Create(HKEY_CURRENT_USER,
                         L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                         KEY_SET_VALUE) == ERROR_SUCCESS &&
          folders.WriteString(L"AppData", folder) == ERROR_SUCCESS;
  }
  ~ScopedAppDataOverride() {
    if (overridden_) ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (parent_.valid()) ::RegDeleteTreeW(parent_.get(), substitute_name_);
  }
  bool ok() const { return ok_; }

 private:
  std::unique_ptr<testing_support::ScopedTempDir> owned_folder_;
  win::RegistryKey parent_;
  wchar_t substitute_name_[32] = {};
  bool overridden_ = false, ok_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ScopedAppDataOverride app_data;
  if (!app_data.ok()) {
    std::fprintf(stderr, "cannot redirect the application-data folder\n");
    return 1;
  }
  const int result = RUN_ALL_TESTS();
  // An entry whose filter matches nothing would pass having checked nothing.
  if (::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
    std::fprintf(stderr, "no test matches the filter\n");
    return 1;
  }
  return result;
}
