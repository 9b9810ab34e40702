// For a test that may crash or hang, or that needs a process of its own.
//
//   TEST(Shortcuts, LongPaths) {
//     if (testing_support::RanInChild(90000)) return;  // the parent is done
//     ...                                               // the child goes on
//   }
#ifndef TESTS_SUPPORT_CHILD_TEST_H_
#define TESTS_SUPPORT_CHILD_TEST_H_

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace testing_support {

// In the parent: runs the current test again in a child (RunSelfInChild, within
// timeout_ms), expects it to pass, and returns true. In the child: false.
inline bool RanInChild(unsigned int timeout_ms = 120000) {
  if (IsChildRun()) return false;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(test->test_suite_name()) + "." + test->name();
  EXPECT_EQ(RunSelfInChild(name, {}, timeout_ms), 0) << name << " in a child";
  return true;
}

}  // namespace testing_support

#endif  // TESTS_SUPPORT_CHILD_TEST_H_
