// A copy of the running test program in a temporary folder, so that files in
// "the executable's folder" never touch the build's bin folder or another
// test. Tests named *InCopy run only inside such a copy; each one that passes
// adds a line to "passed" there, so a filter that matched nothing is noticed.
#ifndef TESTS_CONFIG_SANDBOX_H_
#define TESTS_CONFIG_SANDBOX_H_

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace config_testing {

class Sandbox {
 public:
  Sandbox();
  bool ready() const { return !program_.empty(); }
  std::wstring File(const std::wstring& name) const { return folder_.Child(name); }
  // Runs the copy with the filter: its exit code.
  int Run(const std::string& filter) const;
  // How many *InCopy tests passed there so far.
  int PassedCount() const;

 private:
  testing_support::ScopedTempDir folder_;
  std::wstring program_;
};

// Base of the tests that run inside a copy: skipped anywhere else.
class InCopyTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A file in this program's own folder.
  static std::wstring OwnFile(const std::wstring& name);
};

}  // namespace config_testing

#endif  // TESTS_CONFIG_SANDBOX_H_
