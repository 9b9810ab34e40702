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

class SingletonManager : public ::testing::Test {
 protected:
  // The objects behind the entries: copies must point at them, never copy them.
  int first_factory_ = 1, second_factory_ = 2, product_factory_ = 3;

  void Fill(CSingletonMgr& manager) {
    (*manager.GetLazyFactorys())[L"quotes"] = {{L"first", &first_factory_}, {L"second", &second_factory_}};
    (*manager.GetProductLazyFactorys())[L"news"] = {{L"product", &product_factory_}};
  }

  void ExpectFilled(CSingletonMgr& manager) {
    const common::TLazyFactorys& lazy = *manager.GetLazyFactorys();
    ASSERT_EQ(lazy.size(), 1u);
    const common::LazyFactoryList& list = lazy.at(L"quotes");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.front().name, L"first");
    EXPECT_EQ(list.front().factory, &first_factory_);
    EXPECT_EQ(list.back().name, L"second");
    EXPECT_EQ(list.back().factory, &second_factory_);
    const common::TProductLazyFactorys& product = *manager.GetProductLazyFactorys();
    ASSERT_EQ(product.size(), 1u);
    ASSERT_EQ(product.at(L"news").size(), 1u);
    EXPECT_EQ(product.at(L"news").front().factory, &product_factory_);
  }
};

TEST_F(SingletonManager, CopyIsDeepAndIndependent) {
  CSingletonMgr source;
  EXPECT_TRUE(source.GetLazyFactorys()->empty());
  EXPECT_TRUE(source.GetProductLazyFactorys()->empty());
  Fill(source);
  CSingletonMgr copy(source);
  ExpectFilled(copy);
  EXPECT_NE(&copy.GetLazyFactorys()->at(L"quotes"), &source.GetLazyFactorys()->at(L"quotes"));
  copy.GetLazyFactorys()->at(L"quotes").front().name = L"renamed";
  copy.GetLazyFactorys()->clear();
  copy.GetProductLazyFactorys()->clear();
  ExpectFilled(source);
  EXPECT_EQ(first_factory_, 1);
  EXPECT_EQ(product_factory_, 3);
}

TEST_F(SingletonManager, AssignmentReplacesBothRegistriesAndSelfAssignmentNothing) {
  CSingletonMgr source, target;
  Fill(source);
  (*target.GetLazyFactorys())[L"stale"] = {{L"old", nullptr}};
  (*target.GetProductLazyFactorys())[L"stale"] = {{L"old", nullptr}};
  EXPECT_EQ(&(target = source), &target);
  ExpectFilled(target);
  target.GetLazyFactorys()->at(L"quotes").pop_front();
  ExpectFilled(source);

  const common::LazyFactoryList* list = &source.GetLazyFactorys()->at(L"quotes");
  CSingletonMgr& same = source;
  EXPECT_EQ(&(source = same), &source);
  ExpectFilled(source);
  EXPECT_EQ(&source.GetLazyFactorys()->at(L"quotes"), list);  // not even rebuilt
}

}  // namespace
