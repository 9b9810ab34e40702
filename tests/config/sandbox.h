// A temporary folder that a child run of this test program takes as its
// executable's folder (through the executable-path override), so that files
// in "the executable's folder" never touch the build's bin folder or another
// test. Tests named *InSandbox run only in such a child; each one that passes
// adds a line to "passed" there, so a filter that matched nothing is noticed.
#ifndef TESTS_CONFIG_SANDBOX_H_
#define TESTS_CONFIG_SANDBOX_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "foundation/executable_path_override.h"
#include "support/test_support.h"

namespace config_testing {

constexpr wchar_t kSandboxVariable[] = L"TQ_SANDBOX_FOLDER";
constexpr wchar_t kPassedLog[] = L"passed";

class Sandbox {
 public:
  std::wstring File(const std::wstring& name) const { return folder_.Child(name); }
  // Runs this program in a child with the filter: its exit code.
  int Run(const std::string& filter) const {
    return testing_support::RunSelfInChild(filter, {{kSandboxVariable, folder_.path()}});
  }
  // How many *InSandbox tests passed there so far.
  int PassedCount() const {
    std::istringstream lines(testing_support::ReadBytes(File(kPassedLog)));
    int count = 0;
    for (std::string line; std::getline(lines, line);) ++count;
    return count;
  }

 private:
  testing_support::ScopedTempDir folder_;
};

// Base of the tests that run inside a sandbox: skipped anywhere else.
class InSandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t folder[MAX_PATH] = {};
    if (!testing_support::IsChildRun() || !::GetEnvironmentVariableW(kSandboxVariable, folder, MAX_PATH))
      GTEST_SKIP() << "runs only in a sandbox";
    folder_ = folder;
    executable_ = std::make_unique<common::ScopedExecutablePathOverride>(OwnFile(L"client.exe"));
  }
  void TearDown() override {
    executable_.reset();
    if (IsSkipped() || HasFailure()) return;
    const std::wstring log = OwnFile(kPassedLog);
    testing_support::WriteBytes(log, testing_support::ReadBytes(log) +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\n");
  }
  // A file in the sandbox, the program's folder as the library sees it.
  std::wstring OwnFile(const std::wstring& name) const { return folder_ + L"\\" + name; }

 private:
  std::wstring folder_;
  std::unique_ptr<common::ScopedExecutablePathOverride> executable_;
};

}  // namespace config_testing

#endif  // TESTS_CONFIG_SANDBOX_H_
