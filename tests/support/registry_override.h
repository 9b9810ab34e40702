// Redirections of per-user and machine-wide state for one test process, in the
// spirit of Chromium's RegistryOverrideManager: nothing a test writes reaches
// the prefix's real registry or application-data folder.
//
//   ScopedRegistryOverride user(HKEY_CURRENT_USER);   // HKCU is a fresh, empty key now
//   ScopedAppDataOverride app_data;                    // CSIDL_APPDATA is a fresh folder now
//
// Both act on the whole process (every module, t_base's program log too) and
// undo themselves at scope exit, deleting what they created.
#ifndef TESTS_SUPPORT_REGISTRY_OVERRIDE_H_
#define TESTS_SUPPORT_REGISTRY_OVERRIDE_H_

#include <windows.h>

#include <memory>
#include <string>

#include "support/test_support.h"
#include "win/registry_key.h"

namespace testing_support {

// root is HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE; its substitute is a new key
// under the real HKEY_CURRENT_USER, deleted with its contents at scope exit.
// One override per root at a time: ending one restores the real root.
class ScopedRegistryOverride {
 public:
  explicit ScopedRegistryOverride(HKEY root);
  ~ScopedRegistryOverride();
  ScopedRegistryOverride(const ScopedRegistryOverride&) = delete;
  ScopedRegistryOverride& operator=(const ScopedRegistryOverride&) = delete;

  bool ok() const { return ok_; }

 private:
  HKEY root_;
  std::wstring substitute_name_;
  win::RegistryKey parent_;
  win::RegistryKey substitute_;
  bool ok_ = false;
};

// The roaming application-data folder of this process becomes a temporary
// folder: an HKEY_CURRENT_USER override whose "User Shell Folders" name it,
// which SHGetFolderPathW and SHGetSpecialFolderPathW follow. The folder is
// handed to child runs of the program (RunSelfInChild) through the
// environment, so parent and children share it; the one that made it deletes it.
class ScopedAppDataOverride {
 public:
  ScopedAppDataOverride();
  ~ScopedAppDataOverride();
  ScopedAppDataOverride(const ScopedAppDataOverride&) = delete;
  ScopedAppDataOverride& operator=(const ScopedAppDataOverride&) = delete;

  const std::wstring& path() const { return path_; }
  bool ok() const { return ok_; }

 private:
  std::unique_ptr<ScopedTempDir> owned_folder_;
  std::wstring path_;
  ScopedRegistryOverride user_;
  bool ok_ = false;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_REGISTRY_OVERRIDE_H_
