// Bad input must leave everything else as it was. A SandboxWatch records
// folder trees (every file's bytes, every folder) and registry keys (every
// value, every subkey) when it is made; Unchanged() compares them again and
// names what differs.
//
//   PlantBystanders(persistent);                 // files and a folder nobody asked about
//   const SandboxWatch watch({persistent}, {{HKEY_CURRENT_USER, L"Software"}});
//   common::SerializeManager store(std::wstring(1, L'\0'));
//   EXPECT_TRUE(watch.Unchanged());
#ifndef TESTS_SUPPORT_SANDBOX_H_
#define TESTS_SUPPORT_SANDBOX_H_

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// For a SandboxWatch: the key whose PendingFileRenameOperations value lists
// the renames and deletions that wait for the next restart.
inline const std::pair<HKEY, std::wstring> kPendingRenamesKey = {
    HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager"};

// In folder (created when missing): "keep.txt", "keep.db" and "sub\inner.txt".
void PlantBystanders(const std::wstring& folder);

class SandboxWatch {
 public:
  explicit SandboxWatch(std::vector<std::wstring> folders, std::vector<std::pair<HKEY, std::wstring>> keys = {});
  ::testing::AssertionResult Unchanged() const;

 private:
  using Snapshot = std::map<std::wstring, std::string>;
  Snapshot Take() const;

  std::vector<std::wstring> folders_;
  std::vector<std::pair<HKEY, std::wstring>> keys_;
  Snapshot before_;
};

}  // namespace testing_support

#endif  // TESTS_SUPPORT_SANDBOX_H_
