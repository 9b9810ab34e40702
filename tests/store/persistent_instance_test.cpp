// The process-wide stores are decided by the first call in a process, so each
// test runs its body again in a child process of its own.
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <vector>

#include "store/store_test_util.h"
#include "t_common/store.h"

namespace {

using namespace store_test;
using common::PersistentInstance;
using common::SerializeManager;
using common::SinglePersistentInstance;
using testing_support::IsChildRun;
using testing_support::RunSelfInChild;

// The default store is constructed once when threads call together; it and
// the empty-named store are two caches on one file.
TEST(PersistentInstance, DefaultIsOneObjectBesideTheEmptyNamedStoreOnOneFile) {
  if (!IsChildRun()) {
    RemoveStoreFiles(L"");
    ASSERT_EQ(RunSelfInChild("PersistentInstance.DefaultIsOneObjectBesideTheEmptyNamedStoreOnOneFile"), 0);
    EXPECT_EQ(QueryFile(L"", "select key, value from instances"), std::vector<std::string>{"saved|1"});
    RemoveStoreFiles(L"");
    return;
  }
  std::mutex mutex;
  std::set<SerializeManager*> seen;
  testing_support::RunOnThreadsAtOnce(8, [&] {
    SerializeManager* store = &SinglePersistentInstance();
    std::lock_guard<std::mutex> lock(mutex);
    seen.insert(store);
  });
  SerializeManager& single = SinglePersistentInstance();
  EXPECT_EQ(seen, std::set<SerializeManager*>{&single});
  SerializeManager& named = PersistentInstance(L"");
  EXPECT_NE(&named, &single);
  named.SaveValue(L"instances", L"saved", L"1");
  EXPECT_EQ(single.GetValue(L"instances", L"saved", L"not seen"), L"not seen");
  EXPECT_EQ(SerializeManager().GetValue(L"instances", L"saved", L""), L"1");
  // Only in memory: the unload must not write it back.
  single.SetValue(L"instances", L"set only", L"2");
}

// A first name that is no plain name leaves the process with a store in
// memory, whatever later callers pass.
TEST(PersistentInstance, TheFirstNameWins) {
  if (!IsChildRun()) {
    ScopedStoreName a, b;
    const std::string self = "PersistentInstance.TheFirstNameWins";
    ASSERT_EQ(RunSelfInChild(self, {{L"TQ_STORE_A", a.get()}, {L"TQ_STORE_B", b.get()}}), 0);
    EXPECT_EQ(QueryFile(a.get(), "select key, value from t"), std::vector<std::string>{"k|through the second call"});
    EXPECT_FALSE(common::IsPathFileExisting(b.file().c_str()));
    ASSERT_EQ(RunSelfInChild(self, {{L"TQ_STORE_A", L"..\\Persistent\\" + b.get()}, {L"TQ_STORE_B", b.get()}}), 0);
    EXPECT_FALSE(common::IsPathFileExisting(b.file().c_str()));
    return;
  }
  SerializeManager& first = PersistentInstance(ChildVariable(L"TQ_STORE_A"));
  SerializeManager& second = PersistentInstance(ChildVariable(L"TQ_STORE_B"));
  EXPECT_EQ(&first, &second);
  second.SaveValue(L"t", L"k", L"through the second call");
}

}  // namespace
