// Several threads on one store, several processes on one file. The "Child"
// test only runs inside children that the other tests start.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "store/store_test_util.h"
#include "t_common/store.h"
#include "win/scoped_handle.h"

namespace {

using namespace store_test;
using common::SerializeManager;
using Rows = std::vector<std::string>;

std::wstring Key(int writer, int i) { return L"w" + std::to_wstring(writer) + L"_" + std::to_wstring(i); }
std::wstring Value(int writer, int i) { return L"value " + std::to_wstring(writer * 100000 + i); }

// Each thread also saves the same shared keys, new to the file, which must end as one row each.
TEST(StoreConcurrency, EightThreadsSaveAndReadTheirKeysOnOneStore) {
  ScopedStoreName name;
  constexpr int kThreads = 8, kKeys = 500, kShared = 100;
  {
    SerializeManager store(name.get());
    std::atomic<int> misread{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&store, &misread, t] {
        for (int i = 0; i < kKeys; ++i) {
          store.SaveValue(L"t", Key(t, i), Value(t, i));
          if (store.GetValue(L"t", Key(t, i), std::wstring()) != Value(t, i)) ++misread;
          if (i > 0 && store.GetValue(L"t", Key(t, i - 1), std::wstring()) != Value(t, i - 1)) ++misread;
          if (i < kShared) store.SaveValue(L"shared", Key(0, i), Value(0, i));
        }
      });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(misread.load(), 0);
  }
  EXPECT_EQ(QueryFile(name.get(), "select count(*), count(distinct key) from shared"), Rows{"100|100"});
  SerializeManager store(name.get());
  EXPECT_EQ(store.GetValues(L"t").size(), static_cast<size_t>(kThreads * kKeys));
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kKeys; ++i) ASSERT_EQ(store.GetValue(L"t", Key(t, i), std::wstring()), Value(t, i));
}

// Reads are answered from memory, so they never wait for a delete that waits
// for another program's write lock.
TEST(StoreConcurrency, ReadsDoNotWaitForADeleteWaitingOnTheFile) {
  ScopedStoreName name;
  SerializeManager store(name.get());
  store.SaveValue(L"t", L"deleted", L"1");
  store.SaveValue(L"t", L"kept", L"2");
  CppSQLite3DB other;
  other.open(common::ws2s(name.file()).c_str(), false);
  other.execDML("begin immediate;");
  const LogWatch log;
  std::thread deleter([&] { store.DeleteKey(L"t", L"deleted"); });
  ::Sleep(500);  // for the delete to reach its wait (the busy timeout is 5 s)
  EXPECT_EQ(store.GetValue(L"t", L"kept", L""), L"2");
  EXPECT_EQ(store.GetValues(L"t").size(), 1u);
  EXPECT_EQ(store.GetTables().size(), 1u);
  EXPECT_EQ(log.Added().find("删除持久化数据失败"), std::string::npos) << "the reads waited for the delete to fail";
  other.execDML("rollback;");
  deleter.join();
  EXPECT_EQ(QueryFile(name.get(), "select key from t"), Rows{"kept"});
}

// Two threads save one key at once, round after round; after each round
// memory and the file hold the same value.
TEST(StoreConcurrency, SavesOfOneKeyLeaveMemoryAndTheFileAgreeing) {
  ScopedStoreName name;
  SerializeManager store(name.get());
  int disagreements = 0;
  for (int round = 0; round < 100; ++round) {
    std::atomic<int> next{0};
    testing_support::RunOnThreadsAtOnce(
        2, [&] { store.SaveValue(L"t", L"k", std::to_wstring(round) + L"." + std::to_wstring(next++)); });
    if (QueryFile(name.get(), "select value from t") != Rows{common::ws2s(store.GetValue(L"t", L"k", L""))})
      ++disagreements;
  }
  EXPECT_EQ(disagreements, 0);
}

// A writer in a child process: keys of writer TQ_WRITER into store TQ_STORE.
// With TQ_PROGRESS set it appends each key's number to that file once its
// save has returned, and keeps going until killed.
TEST(StoreConcurrencyChild, Writer) {
  if (!testing_support::IsChildRun()) GTEST_SKIP() << "runs in a child process";
  const std::wstring name = ChildVariable(L"TQ_STORE"), progress_file = ChildVariable(L"TQ_PROGRESS");
  const int writer = std::stoi(ChildVariable(L"TQ_WRITER"));
  ASSERT_FALSE(name.empty());
  SerializeManager store(name);
  win::ScopedHandle progress;
  if (!progress_file.empty())
    progress.reset(::CreateFileW(progress_file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  for (int i = 0; i < (progress ? 1000000 : 1000); ++i) {
    store.SaveValue(L"t", Key(writer, i), Value(writer, i));
    const std::string line = std::to_string(i) + "\n";
    DWORD written = 0;
    if (progress) ::WriteFile(progress.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
}

DWORD WaitForChild(const win::ScopedHandle& process) {
  DWORD code = 1;
  EXPECT_EQ(::WaitForSingleObject(process.get(), 300000), WAIT_OBJECT_0);
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

win::ScopedHandle StartWriter(const std::wstring& store, const wchar_t* writer, const std::wstring& progress = L"") {
  return win::ScopedHandle(testing_support::StartSelfInChild(
      "StoreConcurrencyChild.Writer", {{L"TQ_STORE", store}, {L"TQ_WRITER", writer}, {L"TQ_PROGRESS", progress}}));
}

// Each process decides between insert and update while the other may have just inserted.
TEST(StoreConcurrency, TwoProcessesSaveAThousandKeysEachIntoOneFile) {
  ScopedStoreName name;
  const LogWatch log;
  const win::ScopedHandle first = StartWriter(name.get(), L"1"), second = StartWriter(name.get(), L"2");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(WaitForChild(first), 0u);
  EXPECT_EQ(WaitForChild(second), 0u);
  SerializeManager store(name.get());
  EXPECT_EQ(store.GetValues(L"t").size(), 2000u);
  for (int writer = 1; writer <= 2; ++writer)
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(store.GetValue(L"t", Key(writer, i), std::wstring()), Value(writer, i));
  EXPECT_EQ(log.Added().find("持久化"), std::string::npos) << log.Added();
}

TEST(StoreConcurrency, AWriterKilledInTheMiddleLosesNoReportedSave) {
  ScopedStoreName name;
  testing_support::ScopedTempDir temp;
  const std::wstring progress_file = temp.Child(L"progress.txt");
  const win::ScopedHandle writer = StartWriter(name.get(), L"3", progress_file);
  ASSERT_TRUE(writer);
  // Killed once it has reported a few hundred saves.
  for (int waited = 0; waited < 1200 && testing_support::ReadBytes(progress_file).size() < 2000; ++waited) ::Sleep(50);
  ::TerminateProcess(writer.get(), 9);
  EXPECT_EQ(WaitForChild(writer), 9u);
  std::istringstream reported(testing_support::ReadBytes(progress_file));
  std::vector<int> done;
  for (std::string line; std::getline(reported, line);) done.push_back(std::stoi(line));
  ASSERT_GE(done.size(), 300u);
  EXPECT_EQ(QueryFile(name.get(), "pragma integrity_check"), Rows{"ok"});
  SerializeManager store(name.get());
  for (int i : done) ASSERT_EQ(store.GetValue(L"t", Key(3, i), std::wstring()), Value(3, i)) << i;
}

}  // namespace
