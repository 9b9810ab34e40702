// The process-wide stores are decided by the first call in a process, so each
// case runs in a child process of its own ("Child" tests).
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <vector>

#include "store/store_test_util.h"
#include "t_common/store.h"

namespace {

using common::PersistentInstance;
using common::SerializeManager;
using common::SinglePersistentInstance;
using store_test::ChildVariable;
using store_test::FileExists;
using store_test::QueryFile;
using store_test::ScopedStoreName;
using testing_support::IsChildRun;
using testing_support::RunSelfInChild;

TEST(PersistentInstanceChild, ConstructedOnceWhenThreadsCallTogether) {
  if (!IsChildRun()) GTEST_SKIP() << "runs in a child process";
  std::mutex mutex;
  std::set<SerializeManager*> seen;
  testing_support::RunOnThreadsAtOnce(8, [&] {
    SerializeManager* store = &SinglePersistentInstance();
    std::lock_guard<std::mutex> lock(mutex);
    seen.insert(store);
  });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(*seen.begin(), &SinglePersistentInstance());
}

TEST(PersistentInstance, ConstructedOnceWhenThreadsCallTogether) {
  EXPECT_EQ(RunSelfInChild("PersistentInstanceChild.ConstructedOnceWhenThreadsCallTogether"), 0);
}

TEST(PersistentInstanceChild, TheFirstNameWins) {
  if (!IsChildRun()) GTEST_SKIP() << "runs in a child process";
  SerializeManager& first = PersistentInstance(ChildVariable(L"TQ_STORE_A"));
  SerializeManager& second = PersistentInstance(ChildVariable(L"TQ_STORE_B"));
  EXPECT_EQ(&first, &second);
  second.SaveValue(L"t", L"k", L"through the second call");
}

TEST(PersistentInstance, TheFirstNameWins) {
  ScopedStoreName a, b;
  ASSERT_EQ(
      RunSelfInChild("PersistentInstanceChild.TheFirstNameWins", {{L"TQ_STORE_A", a.get()}, {L"TQ_STORE_B", b.get()}}),
      0);
  EXPECT_EQ(QueryFile(a.get(), "select key, value from t"), std::vector<std::string>{"k|through the second call"});
  EXPECT_FALSE(FileExists(b.file()));
}

TEST(PersistentInstanceChild, DefaultAndEmptyNamedAreTwoCachesOnOneFile) {
  if (!IsChildRun()) GTEST_SKIP() << "runs in a child process";
  SerializeManager& named = PersistentInstance(L"");
  SerializeManager& single = SinglePersistentInstance();
  EXPECT_NE(&named, &single);
  EXPECT_EQ(&single, &SinglePersistentInstance());
  named.SaveValue(L"instances", L"saved", L"1");
  EXPECT_EQ(single.GetValue(L"instances", L"saved", L"not seen"), L"not seen");
  EXPECT_EQ(SerializeManager().GetValue(L"instances", L"saved", L""), L"1");
  // Only in memory: the unload must not write it back.
  single.SetValue(L"instances", L"set only", L"2");
}

TEST(PersistentInstance, DefaultAndEmptyNamedAreTwoCachesOnOneFile) {
  store_test::RemoveStoreFiles(L"");
  ASSERT_EQ(RunSelfInChild("PersistentInstanceChild.DefaultAndEmptyNamedAreTwoCachesOnOneFile"), 0);
  EXPECT_EQ(QueryFile(L"", "select key, value from instances"), std::vector<std::string>{"saved|1"});
  store_test::RemoveStoreFiles(L"");
}

}  // namespace
