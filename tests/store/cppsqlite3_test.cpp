#include <cppsqlite3/cppsqlite3.h>

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "t_common/text.h"

namespace {

class CppSQLite3Test : public ::testing::Test {
 protected:
  std::string File(const wchar_t* name) const { return common::ws2s(temp_.Child(name)); }
  testing_support::ScopedTempDir temp_;
};

int ErrorCodeOf(void (*operation)(CppSQLite3DB&), CppSQLite3DB& db, std::string* message) {
  try {
    operation(db);
  } catch (const CppSQLite3Exception& error) {
    *message = error.errorMessage();
    return error.errorCode();
  }
  return 0;
}

TEST_F(CppSQLite3Test, OpenCreatesOnlyWhenAskedAndNothingRunsBeforeIt) {
  CppSQLite3DB db;
  std::string message;
  EXPECT_EQ(ErrorCodeOf([](CppSQLite3DB& d) { d.execDML("select 1;"); }, db, &message), 21);
  EXPECT_EQ(message, "database not open (21)");
  EXPECT_THROW(db.open(File(L"missing.db").c_str(), false), CppSQLite3Exception);
  EXPECT_FALSE(db.isOpen());
  db.open(File(L"created.db").c_str(), true);
  EXPECT_TRUE(db.isOpen());
  EXPECT_NE(::GetFileAttributesW(temp_.Child(L"created.db").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(db.execDML("create table t (a);"), 0);
  EXPECT_TRUE(db.tableExists("t"));
  EXPECT_FALSE(db.tableExists("t2"));
  EXPECT_FALSE(db.tableExists(nullptr));
}

TEST_F(CppSQLite3Test, QueriesGiveExactTextAndFailuresCarrySqlitesMessage) {
  CppSQLite3DB db;
  db.open(File(L"q.db").c_str(), true);
  EXPECT_EQ(db.execDML("create table t (k, v); insert into t values ('a', null); insert into t values ('b', 2);"
                       "update t set v = 3;"),
            2);
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

  std::string message;
  EXPECT_EQ(ErrorCodeOf([](CppSQLite3DB& d) { d.execQuery("selec 1;"); }, db, &message), 1);
  EXPECT_EQ(message, "near \"selec\": syntax error (1)");
  // Double-quoted text is never a string literal.
  EXPECT_EQ(ErrorCodeOf([](CppSQLite3DB& d) { d.execQuery("select * from t where k = \"a\";"); }, db, &message), 1);
  EXPECT_EQ(message, "no such column: a (1)");
}

TEST_F(CppSQLite3Test, AReusedStatementStartsWithoutTheLastBindings) {
  CppSQLite3DB db;
  db.open(File(L"r.db").c_str(), true);
  db.execDML("create table t (k text not null);");
  {
    CppSQLite3Statement insert = db.compileStatement("insert into t values (?1);");
    insert.bind(1, "first");
    insert.execDML();
  }
  CppSQLite3Statement again = db.compileStatement("insert into t values (?1);");
  std::string message;
  try {
    again.execDML();
  } catch (const CppSQLite3Exception& error) {
    message = error.errorMessage();
  }
  EXPECT_EQ(message, "NOT NULL constraint failed: t.k (19)");
  again.bind(1, "second");
  EXPECT_EQ(again.execDML(), 1);
  EXPECT_EQ(again.execDML(), 1);
  CppSQLite3Query count = db.execQuery("select count(*), count(distinct k) from t;");
  EXPECT_EQ(count.fieldValue(0), "3");
  EXPECT_EQ(count.fieldValue(1), "2");
}

TEST_F(CppSQLite3Test, StatementsAndQueriesMayEndAfterClose) {
  CppSQLite3DB db;
  db.open(File(L"c.db").c_str(), true);
  db.execDML("create table t (k); insert into t values (1); insert into t values (2);");
  CppSQLite3Statement statement = db.compileStatement("select k from t;");
  CppSQLite3Query query = db.execQuery("select k from t;");
  db.close();
  EXPECT_FALSE(db.isOpen());
  EXPECT_EQ(query.fieldValue(0), "1");
  query.finalize();
  statement.finalize();
  db.open(File(L"c.db").c_str(), false);
  EXPECT_EQ(db.execQuery("select count(*) from t;").fieldValue(0), "2");
}

}  // namespace
