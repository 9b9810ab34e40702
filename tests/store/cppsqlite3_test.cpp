#include <cppsqlite3/cppsqlite3.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "t_common/text.h"

namespace {

class CppSQLite3Test : public ::testing::Test {
 protected:
  std::string File(const wchar_t* name) const { return common::ws2s(temp_.Child(name)); }
  testing_support::ScopedTempDir temp_;
};

// The error code and message the operation throws, as "code: message"; empty when it does not.
std::string Failure(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const CppSQLite3Exception& error) {
    return std::to_string(error.errorCode()) + ": " + error.errorMessage();
  }
  return std::string();
}

TEST_F(CppSQLite3Test, OpenCreatesOnlyWhenAskedAndFailuresCarrySqlitesMessage) {
  CppSQLite3DB db;
  EXPECT_EQ(Failure([&] { db.execDML("select 1;"); }), "21: database not open (21)");
  EXPECT_THROW(db.open(File(L"missing.db").c_str(), false), CppSQLite3Exception);
  EXPECT_FALSE(db.isOpen());
  db.open(File(L"q.db").c_str(), true);
  EXPECT_TRUE(db.isOpen());
  EXPECT_NE(::GetFileAttributesW(temp_.Child(L"q.db").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(db.execDML("create table t (k, v); insert into t values ('a', null); insert into t values ('b', 2);"
                       "update t set v = 3;"),
            2);
  EXPECT_TRUE(db.tableExists("t"));
  EXPECT_FALSE(db.tableExists("t2"));
  EXPECT_FALSE(db.tableExists(nullptr));
  EXPECT_EQ(Failure([&] { db.execQuery("selec 1;"); }), "1: near \"selec\": syntax error (1)");
  // Double-quoted text is never a string literal.
  EXPECT_EQ(Failure([&] { db.execQuery("select * from t where k = \"a\";"); }), "1: no such column: a (1)");

  CppSQLite3Statement insert = db.compileStatement("insert into t values (?1, ?2);");
  insert.bind(1, std::string("nul\0inside", 10));
  insert.bind(2, "\xF0\x9F\x98\x80");
  EXPECT_EQ(insert.execDML(), 1);
  CppSQLite3Query query = db.execQuery("select k, v from t order by k;");
  ASSERT_EQ(query.numFields(), 2);
  EXPECT_EQ(query.fieldValue(0), "a");
  EXPECT_EQ(query.fieldValue(1), "3");
  EXPECT_THROW(query.fieldValue(2), CppSQLite3Exception);
  EXPECT_THROW(query.fieldValue(-1), CppSQLite3Exception);
  query.nextRow();
  query.nextRow();
  EXPECT_EQ(query.fieldValue(0), std::string("nul\0inside", 10));
  EXPECT_EQ(query.fieldValue(1), "\xF0\x9F\x98\x80");
  query.nextRow();
  EXPECT_TRUE(query.eof());
  EXPECT_THROW(query.nextRow(), CppSQLite3Exception);
  query.finalize();
  query.finalize();
}

// A reused statement starts without the last bindings; statements and queries may end after close.
TEST_F(CppSQLite3Test, StatementsStartUnboundAndMayEndAfterClose) {
  CppSQLite3DB db;
  db.open(File(L"r.db").c_str(), true);
  db.execDML("create table t (k text not null);");
  {
    CppSQLite3Statement insert = db.compileStatement("insert into t values (?1);");
    insert.bind(1, "first");
    insert.execDML();
  }
  CppSQLite3Statement again = db.compileStatement("insert into t values (?1);");
  EXPECT_EQ(Failure([&] { again.execDML(); }), "19: NOT NULL constraint failed: t.k (19)");
  again.bind(1, "second");
  EXPECT_EQ(again.execDML(), 1);
  EXPECT_EQ(again.execDML(), 1);
  CppSQLite3Query query = db.execQuery("select count(*), count(distinct k) from t;");
  db.close();
  EXPECT_FALSE(db.isOpen());
  EXPECT_EQ(query.fieldValue(0), "3");
  EXPECT_EQ(query.fieldValue(1), "2");
  query.finalize();
  again.finalize();
  db.open(File(L"r.db").c_str(), false);
  EXPECT_EQ(db.execQuery("select count(*) from t;").fieldValue(0), "3");
}

// Each count belongs to the statement that ran, also while other threads run
// statements on the same connection: a save decides between insert and update by it.
TEST(CppSQLite3Threads, RowCountsStayWithTheirStatement) {
  CppSQLite3DB db;
  db.open(":memory:", true);
  db.execDML("create table one (v); insert into one values (0);"
             "create table three (v); insert into three values (0), (0), (0);");
  constexpr int kThreadsEach = 3, kRuns = 20000;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2 * kThreadsEach; ++t) {
    threads.emplace_back([&db, &wrong, t] {
      const int rows = t % 2 ? 3 : 1;
      CppSQLite3Statement update =
          db.compileStatement(rows == 3 ? "update three set v = v + 1;" : "update one set v = v + 1;");
      for (int i = 0; i < kRuns; ++i)
        if (update.execDML() != rows) ++wrong;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(db.execQuery("select v from one;").fieldValue(0), std::to_string(kThreadsEach * kRuns));
}

}  // namespace
