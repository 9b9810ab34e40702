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

TEST(Singleton, ConcurrentFirstCallsGetOneManager) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("Singleton.ConcurrentFirstCallsGetOneManager"), 0);
    return;
  }
  ExpectOneInstanceFromConcurrentFirstCalls<CSingletonMgr>();
}

TEST(Singleton, ConcurrentFirstCallsGetOneCalendar) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("Singleton.ConcurrentFirstCallsGetOneCalendar"), 0);
    return;
  }
  ExpectOneInstanceFromConcurrentFirstCalls<common::LegalHoliday>();
}

TEST(Singleton, SharedManagerAndItsRegistriesKeepTheirAddresses) {
  CSingletonMgr* manager = pattern::CSingleton<CSingletonMgr>::GetInstance();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager, pattern::CSingleton<CSingletonMgr>::GetInstance());
  common::TLazyFactorys* lazy = manager->GetLazyFactorys();
  common::TProductLazyFactorys* product = manager->GetProductLazyFactorys();
  ASSERT_NE(lazy, nullptr);
  ASSERT_NE(product, nullptr);
  EXPECT_NE(static_cast<void*>(lazy), static_cast<void*>(product));
  EXPECT_EQ(lazy, manager->GetLazyFactorys());
  EXPECT_EQ(product, manager->GetProductLazyFactorys());
  // Entries made through one pointer are there for every later caller.
  (*lazy)[L"shared"].push_back({L"one", nullptr});
  EXPECT_EQ(pattern::CSingleton<CSingletonMgr>::GetInstance()->GetLazyFactorys()->count(L"shared"), 1u);
  lazy->erase(L"shared");
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

TEST_F(SingletonManager, FreshManagerHasTwoEmptyRegistries) {
  CSingletonMgr manager;
  EXPECT_TRUE(manager.GetLazyFactorys()->empty());
  EXPECT_TRUE(manager.GetProductLazyFactorys()->empty());
}

TEST_F(SingletonManager, CopyIsDeepAndIndependent) {
  CSingletonMgr source;
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

TEST_F(SingletonManager, AssignmentReplacesBothRegistries) {
  CSingletonMgr source, target;
  Fill(source);
  (*target.GetLazyFactorys())[L"stale"] = {{L"old", nullptr}};
  (*target.GetProductLazyFactorys())[L"stale"] = {{L"old", nullptr}};
  EXPECT_EQ(&(target = source), &target);
  ExpectFilled(target);
  target.GetLazyFactorys()->at(L"quotes").pop_front();
  ExpectFilled(source);
}

TEST_F(SingletonManager, SelfAssignmentChangesNothing) {
  CSingletonMgr manager;
  Fill(manager);
  const common::LazyFactoryList* list = &manager.GetLazyFactorys()->at(L"quotes");
  CSingletonMgr& same = manager;
  EXPECT_EQ(&(manager = same), &manager);
  ExpectFilled(manager);
  EXPECT_EQ(&manager.GetLazyFactorys()->at(L"quotes"), list);  // not even rebuilt
}

}  // namespace
