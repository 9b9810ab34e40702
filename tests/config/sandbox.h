// A copy of the running test program in a temporary folder, so that files in
// "the executable's folder" never touch the build's bin folder or another
// test. Tests named *InCopy run only inside such a copy; each one that passes
// adds a line to "passed" there, so a filter that matched nothing is noticed.
#ifndef TESTS_CONFIG_SANDBOX_H_
#define TESTS_CONFIG_SANDBOX_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/test_support.h"

namespace config_testing {

constexpr wchar_t kSandboxMarker[] = L"sandbox.marker";
constexpr wchar_t kPassedLog[] = L"passed";

class Sandbox {
 public:
  Sandbox() : program_(testing_support::CopySelfWithLibraries(folder_.path())) {
    if (!program_.empty() && !testing_support::WriteBytes(File(kSandboxMarker), "")) program_.clear();
  }
  bool ready() const { return !program_.empty(); }
  std::wstring File(const std::wstring& name) const { return folder_.Child(name); }
  // Runs the copy with the filter: its exit code.
  int Run(const std::string& filter) const {
    return program_.empty() ? -1 : testing_support::RunProgramInChild(program_, filter);
  }
  // How many *InCopy tests passed there so far.
  int PassedCount() const {
    std::istringstream lines(testing_support::ReadBytes(File(kPassedLog)));
    int count = 0;
    for (std::string line; std::getline(lines, line);) ++count;
    return count;
  }

 private:
  testing_support::ScopedTempDir folder_;
  std::wstring program_;
};

// Base of the tests that run inside a copy: skipped anywhere else.
class InCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const bool in_copy = testing_support::IsChildRun() &&
                         ::GetFileAttributesW(OwnFile(kSandboxMarker).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!in_copy) GTEST_SKIP() << "runs only in a copy of the program";
  }
  void TearDown() override {
    if (IsSkipped() || HasFailure()) return;
    const std::wstring log = OwnFile(kPassedLog);
    testing_support::WriteBytes(log, testing_support::ReadBytes(log) +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\n");
  }
  // A file in this program's own folder.
  static std::wstring OwnFile(const std::wstring& name) {
    const std::wstring self = testing_support::SelfPath();
    return self.substr(0, self.find_last_of(L'\\') + 1) + name;
  }
};

}  // namespace config_testing

#endif  // TESTS_CONFIG_SANDBOX_H_
