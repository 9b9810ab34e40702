#include "t_common/singleton.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "support/test_support.h"
#include "t_common/legal_holiday.h"

namespace {

// In a child, where these are the process's first calls: eight threads
// released together must all get one object.
template <class T>
void ExpectOneInstanceFromConcurrentFirstCalls() {
  std::atomic<int> next{0};
  std::vector<T*> seen(8, nullptr);
  testing_support::RunOnThreadsAtOnce(8, [&] { seen[next++] = pattern::CSingleton<T>::GetInstance(); });
  EXPECT_EQ(std::vector<T*>(8, pattern::CSingleton<T>::GetInstance()), seen);
}

TEST(Singleton, ConcurrentFirstCallsGetOneManagerAndOneCalendar) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("Singleton.ConcurrentFirstCallsGetOneManagerAndOneCalendar"), 0);
    return;
  }
  ExpectOneInstanceFromConcurrentFirstCalls<common::CSingletonMgr>();
  ExpectOneInstanceFromConcurrentFirstCalls<common::LegalHoliday>();
}

}  // namespace
