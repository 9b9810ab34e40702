#include "t_common/singleton.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "support/test_support.h"
#include "t_common/legal_holiday.h"

namespace {

using common::CSingletonMgr;

// Runs in a child, where these are the process's first calls: eight threads
// released together must all get one object.
template <class T>
void ExpectOneInstanceFromConcurrentFirstCalls() {
  constexpr int kThreads = 8;
  std::atomic<int> next{0};
  std::vector<T*> seen(kThreads, nullptr);
  testing_support::RunOnThreadsAtOnce(kThreads, [&] { seen[next++] = pattern::CSingleton<T>::GetInstance(); });
  ASSERT_NE(seen[0], nullptr);
  for (T* instance : seen) EXPECT_EQ(instance, seen[0]);
}

TEST(Singleton, ConcurrentFirstCallsGetOneManagerAndOneCalendar) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("Singleton.ConcurrentFirstCallsGetOneManagerAndOneCalendar"), 0);
    return;
  }
  ExpectOneInstanceFromConcurrentFirstCalls<CSingletonMgr>();
  ExpectOneInstanceFromConcurrentFirstCalls<common::LegalHoliday>();
}

}  // namespace
