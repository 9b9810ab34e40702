#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "store/store_test_util.h"
#include "support/sandbox.h"
#include "t_common/store.h"
#include "win/scoped_handle.h"

namespace {

using namespace store_test;
using common::SerializeManager;
using Rows = std::vector<std::string>;
using Values = std::map<std::wstring, std::wstring>;
using testing_support::SandboxWatch;
using namespace std::string_literals;

void InsertRaw(const std::wstring& name, const std::string& sql) {
  CppSQLite3DB db;
  db.open(common::ws2s(StoreFile(name)).c_str(), true);
  db.execDML(sql.c_str());
}

bool Logged(const LogWatch& log, const std::string& line) { return log.Added().find(line) != std::string::npos; }

TEST(SerializeManagerFresh, CreatesFolderAndFileAndTheTableAtTheFirstSave) {
  const std::wstring folder = common::GetPersistentFolder(L"Tessaquill", false);
  ASSERT_TRUE(testing_support::RemoveTree(folder));
  {
    SerializeManager store;
    EXPECT_TRUE(common::IsPathFileExisting((folder + L"\\Tessaquill.db").c_str()));
    EXPECT_EQ(store.GetValue(L"settings", L"theme", std::wstring(L"dark")), L"dark");
    EXPECT_TRUE(QueryFile(L"", "select name from sqlite_master").empty());
    store.SaveValue(L"settings", L"theme", L"light");
  }
  EXPECT_EQ(QueryFile(L"", "select type, name from sqlite_master"), Rows{"table|settings"});
  EXPECT_EQ(QueryFile(L"", "select name, type, \"notnull\", pk from pragma_table_info('settings') order by cid"),
            (Rows{"key|TEXT|1|0", "value|TEXT|1|0"}));
  EXPECT_EQ(QueryFile(L"", "select key, value from settings"), Rows{"theme|light"});
  RemoveStoreFiles(L"");
}

class SerializeManagerTest : public ::testing::Test {
 protected:
  ScopedStoreName name_;
};

// The first entry holding a key answers; deleting empties it and the next one
// answers. An empty table name or key reads the default and is never cached,
// but a loaded row is an entry all the same.
TEST_F(SerializeManagerTest, RowsWithTheSameKeyLoadAsEntriesInOrderAndTheFirstWins) {
  InsertRaw(name_.get(),
            "create table t (key text not null, value text not null);"
            "insert into t values ('k', 'first'); insert into t values ('other', 'x');"
            "insert into t values ('k', 'second'); insert into t values ('', 'empty key');");
  SerializeManager store(name_.get());
  store.SetValue(L"", L"k", L"v");
  store.SetValue(L"t", L"", L"v");
  EXPECT_EQ(store.GetValue(L"", L"k", L"d"), L"d");
  EXPECT_EQ(store.GetValue(L"t", L"", L"d"), L"d");
  EXPECT_TRUE(store.GetValues(L"").empty());
  EXPECT_EQ(store.GetValue(L"t", L"k", L""), L"first");
  EXPECT_EQ(store.GetValues(L"t"), (Values{{L"", L"empty key"}, {L"k", L"first"}, {L"other", L"x"}}));
  store.SetValue(L"t", L"k", L"changed");
  EXPECT_EQ(store.GetValue(L"t", L"k", L""), L"changed");
  store.DeleteKey(L"t", L"k");
  EXPECT_EQ(store.GetValue(L"t", L"k", L""), L"second");
  store.DeleteKey(L"t", L"k");
  EXPECT_EQ(store.GetValue(L"t", L"k", L"none"), L"none");
  EXPECT_EQ(QueryFile(name_.get(), "select key from t order by key"), (Rows{"", "other"}));
}

// Thousands of keys, every third one deleted: each other key still reads its own value.
TEST_F(SerializeManagerTest, DeletedKeysLeaveEveryOtherKeyReadable) {
  SerializeManager store(name_.get());
  store.SaveValue(L"t", L"0", L"0");
  for (int i = 1; i < 3000; ++i) store.SetValue(L"t", std::to_wstring(i), std::to_wstring(i));
  for (int i = 0; i < 3000; i += 3) store.DeleteKey(L"t", std::to_wstring(i));
  for (int i = 0; i < 3000; ++i)
    ASSERT_EQ(store.GetValue(L"t", std::to_wstring(i), L"gone"), i % 3 ? std::to_wstring(i) : L"gone") << i;
  EXPECT_EQ(store.GetValues(L"t").size(), 2000u);
}

// A delete reaches rows the cache never held; a dropped table stays readable
// in memory until the next construction, and its statements serve the new one.
TEST_F(SerializeManagerTest, DeletesReachTheFileAndMemoryKeepsADroppedTableUntilTheNextConstruction) {
  {
    SerializeManager store(name_.get());
    store.SaveValue(L"t", L"a", L"1");
    store.SaveValue(L"t", L"b", L"2");
    InsertRaw(name_.get(), "insert into t values ('late', 'a'); insert into t values ('late', 'b');");
    store.DeleteKey(L"t", L"late");
    EXPECT_EQ(QueryFile(name_.get(), "select key, value from t"), (Rows{"a|1", "b|2"}));
    store.DeleteTable(L"t");
    EXPECT_TRUE(QueryFile(name_.get(), "select name from sqlite_master where name='t'").empty());
    EXPECT_EQ(store.GetValue(L"t", L"a", L""), L"1");
    EXPECT_EQ(store.GetValues(L"t").size(), 2u);
    store.SaveValue(L"t", L"b", L"two");
    EXPECT_EQ(QueryFile(name_.get(), "select key, value from t"), Rows{"b|two"});
  }
  SerializeManager store(name_.get());
  EXPECT_EQ(store.GetValue(L"t", L"a", L"default"), L"default");
  EXPECT_EQ(store.GetValues(L"t"), (Values{{L"b", L"two"}}));
  store.DeleteTable(L"t");
  store.SaveValue(L"t", L"c", L"3");
  EXPECT_EQ(QueryFile(name_.get(), "select key, value from t"), Rows{"c|3"});
}

// Every key saved twice keeps one row. GetValues gives every entry of the one
// table, set-only ones too, ordered by UTF-16 code unit; set-only values are
// gone once the store is constructed again.
TEST_F(SerializeManagerTest, QuotesBlanksAndSqlInNamesKeysAndValuesTouchOnlyTheirOwnRowAndListInOrder) {
  const std::vector<std::wstring> tables = {L"plain", L"with blanks  here", L"say \"hi\"", L"it's",
                                            L"key",   L"\U0001F600 \u8868"};
  const std::vector<std::wstring> texts = {L"key", L"value", L"a\"b", L"'; drop table x; --", L"x' or '1'='1",
                                           L"\U0001F4C8\u884c\u60c5", L"\"\"", L"?1", L"b", L"a", L"\u00e9",
                                           L"\uff21", L"B", L"9", L"10"};
  Values expected = {{L"empty value", L""}};
  for (size_t i = 0; i < texts.size(); ++i) expected[texts[i]] = texts[(i + 1) % texts.size()];
  {
    SerializeManager store(name_.get());
    for (const std::wstring& table : tables) {
      for (const auto& [key, value] : expected) store.SaveValue(table, key, L"before " + value);
      for (const auto& [key, value] : expected) store.SaveValue(table, key, value);
    }
    store.SetValue(L"plain", L"memory", L"only");
    store.SetValue(L"plain", L"value", L"changed in memory");
    store.SaveValue(L"other", L"in another table", L"");
    EXPECT_EQ(store.GetValues(L"plain").size(), expected.size() + 1);
    EXPECT_EQ(store.GetValue(L"plain", L"value", L""), L"changed in memory");
  }
  InsertRaw(name_.get(), "create table x (key text not null, value text not null);");
  SerializeManager store(name_.get());
  for (const std::wstring& table : tables) {
    std::string quoted = "\"";
    for (char c : common::ws2s(table)) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    EXPECT_EQ(store.GetValues(table), expected) << quoted;
    EXPECT_EQ(QueryFile(name_.get(), "select count(*) from " + quoted + "\""), Rows{std::to_string(expected.size())});
  }
  EXPECT_EQ(QueryFile(name_.get(), "select count(*) from sqlite_master where name='x'"), Rows{"1"});
  EXPECT_TRUE(store.GetValues(L"PLAIN").empty());
  std::vector<std::wstring> order;
  for (const auto& entry : store.GetValues(L"plain")) order.push_back(entry.first);
  EXPECT_EQ(order, (std::vector<std::wstring>{L"\"\"", L"'; drop table x; --", L"10", L"9", L"?1", L"B", L"a",
                                              L"a\"b", L"b", L"empty value", L"key", L"value", L"x' or '1'='1",
                                              L"\u00e9", L"\U0001F4C8\u884c\u60c5", L"\uff21"}));
}

// Text that is not a number, a negative unsigned, an overflow of the type all read the default.
TEST_F(SerializeManagerTest, TypedValuesRoundTripAndTextThatDoesNotReadGivesTheDefault) {
  std::wstring mebibyte(1 << 20, L'x');
  for (size_t i = 0; i < mebibyte.size(); i += 997) mebibyte[i] = static_cast<wchar_t>(L'a' + i % 26);
  {
    SerializeManager store(name_.get());
    store.SaveValue(L"t", L"int", -42);
    store.SaveValue(L"t", L"uint", 4000000000u);
    store.SaveValue(L"t", L"llong", LLONG_MIN);
    store.SaveValue(L"t", L"bool", true);
    store.SaveValue(L"t", L"double", 0.1);
    store.SaveValue(L"t", L"text", L"abc");
    store.SaveValue(L"t", L"wide", std::wstring(L"w"));
    store.SaveValue(L"t", L"big", 70000);
    store.SaveValue(L"t", L"blank minus", L" -1");
    store.SaveValue(L"t", L"mebibyte", mebibyte);
  }
  SerializeManager store(name_.get());
  EXPECT_EQ(store.GetValue(L"t", L"int", 0), -42);
  EXPECT_EQ(store.GetValue(L"t", L"uint", 0u), 4000000000u);
  EXPECT_EQ(store.GetValue(L"t", L"llong", 0LL), LLONG_MIN);
  EXPECT_TRUE(store.GetValue(L"t", L"bool", false));
  EXPECT_EQ(store.GetValue(L"t", L"double", 0.0), 0.1);
  EXPECT_EQ(store.GetValue(L"t", L"text", L"d"), L"abc");
  EXPECT_EQ(store.GetValue(L"t", L"wide", std::wstring()), L"w");
  EXPECT_EQ(store.GetValue(L"t", L"mebibyte", L""), mebibyte);
  EXPECT_EQ(store.GetValues(L"t")[L"bool"], L"1");
  EXPECT_EQ(store.GetValue(L"t", L"text", 5), 5);
  EXPECT_EQ(store.GetValue(L"t", L"int", 5u), 5u);
  EXPECT_EQ(store.GetValue(L"t", L"blank minus", 5ull), 5ull);
  EXPECT_EQ(store.GetValue(L"t", L"big", short{5}), short{5});
  EXPECT_TRUE(store.GetValue(L"t", L"text", true));
  EXPECT_EQ(store.GetValue(L"t", L"text", 2.5), 2.5);
  EXPECT_EQ(store.GetValue(L"t", L"missing", -1), -1);
}

// Bystanders in and beside the persistent folder, the files that a path in a
// store name would reach outside it, and what the caller adds.
SandboxWatch WatchAroundTheStore(std::vector<std::wstring> watched) {
  const std::wstring persistent = common::GetPersistentFolder(L"Tessaquill", true);
  const std::wstring product = persistent.substr(0, persistent.rfind(L'\\'));
  wchar_t roaming[MAX_PATH] = {};
  EXPECT_TRUE(common::GetAppDataDir(roaming, MAX_PATH, nullptr));
  for (const std::wstring& folder : {persistent, product}) {
    testing_support::PlantBystanders(folder);
    for (const wchar_t* bystander : {L"\\keep.txt", L"\\keep.db", L"\\sub"}) watched.push_back(folder + bystander);
  }
  for (const std::wstring& escaped : {product, std::wstring(roaming)}) watched.push_back(escaped + L"\\escaped.db");
  return SandboxWatch(std::move(watched));
}

// SQLite takes page 1 from a write-ahead log beside the file whenever the log
// holds it: a file without SQLite's header must never open as the store that
// wrote the log. It goes with the log and the store starts empty; an empty
// file is a new store; a damaged file that another program holds open, and a
// folder in the file's place, stay as they are and the store works in memory.
TEST(SerializeManagerDamaged, AFileWithoutTheHeaderNeverOpensAsTheStoreOfALogBesideIt) {
  enum Damage { kHeader, kEmpty, kHeld, kFolder };
  const struct { Damage damage; const char* logged; } kCases[] = {{kHeader, "file is not a database"},
                                                                  {kEmpty, nullptr},
                                                                  {kHeld, "file is not a database"},
                                                                  {kFolder, "unable to open database file"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.damage);
    ScopedStoreName a, b;
    SerializeManager(a.get()).SaveValue(L"mine", L"k", L"a's row");
    SerializeManager other(b.get());
    other.SaveValue(L"theirs", L"k", L"b's row");
    std::string bytes = testing_support::ReadBytes(a.file());
    ASSERT_GE(bytes.size(), 16u);
    if (c.damage == kHeader || c.damage == kHeld) bytes.replace(0, 16, 16, 'X');
    if (c.damage == kEmpty) bytes.clear();
    ASSERT_TRUE(testing_support::WriteBytes(a.file(), bytes));
    const std::string log_file = testing_support::ReadBytes(b.file() + L"-wal");
    ASSERT_TRUE(testing_support::WriteBytes(a.file() + L"-wal", log_file));
    if (c.damage == kFolder) {
      ASSERT_TRUE(::DeleteFileW(a.file().c_str()));
      testing_support::PlantBystanders(a.file());
    }
    const bool kept = c.damage == kHeld || c.damage == kFolder;
    using Paths = std::vector<std::wstring>;
    const SandboxWatch watch = WatchAroundTheStore(kept ? Paths{a.file()} : Paths());
    const win::ScopedHandle holder(c.damage == kHeld ? ::CreateFileW(a.file().c_str(), GENERIC_READ,
                                                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                                      OPEN_EXISTING, 0, nullptr)
                                                     : INVALID_HANDLE_VALUE);
    const LogWatch log;
    {
      SerializeManager store(a.get());
      EXPECT_TRUE(store.GetTables().empty());
      // Once, with the reason.
      const std::string added = log.Added();
      size_t failures = 0;
      for (size_t at = added.find("初始化持久化失败"); at != std::string::npos; at = added.find("初始化持久化失败", at + 1))
        ++failures;
      EXPECT_EQ(failures, c.logged ? 1u : 0u) << added;
      EXPECT_TRUE(!c.logged || Logged(log, std::string("初始化持久化失败：") + c.logged)) << added;
      store.SaveValue(L"t", L"k", L"v");
      EXPECT_EQ(store.GetValue(L"t", L"k", L""), L"v");
    }
    EXPECT_TRUE(watch.Unchanged());
    if (kept) {
      EXPECT_TRUE(c.damage != kHeld || testing_support::ReadBytes(a.file() + L"-wal") == log_file);
      testing_support::RemoveTree(a.file());
      continue;
    }
    EXPECT_EQ(QueryFile(a.get(), "pragma integrity_check"), Rows{"ok"});
    EXPECT_EQ(SerializeManager(a.get()).GetTables(), std::vector<std::wstring>{L"t"});
  }
}

// A store name is one plain name, or empty for the default store. Any other
// name, a NUL that would cut the path short included, reaches no file: the
// store works in memory and its statements fail.
TEST(SerializeManagerRefused, ANameThatIsNoPlainNameReachesNoFile) {
  for (const std::wstring& name : {L"\0"s, L"sub\0junk"s, L"keep.txt\0"s, L"keep.db\0"s, L"..\\..\\..\\escaped"s,
                                   L"..\\escaped"s, L"sub\\escaped"s}) {
    SCOPED_TRACE(common::ws2s(name));
    const SandboxWatch watch = WatchAroundTheStore({common::GetPersistentFolder(L"Tessaquill", false)});
    EXPECT_EQ(common::GetStoreFilePath(name, true), L"");
    {
      SerializeManager store(name);
      EXPECT_TRUE(store.GetTables().empty());
      store.SaveValue(L"t", L"k", L"v");
      store.DeleteKey(L"t", L"gone");
      store.DeleteTable(L"t");
      EXPECT_EQ(store.GetValues(L"t"), (Values{{L"k", L"v"}}));
    }
    EXPECT_TRUE(watch.Unchanged());
  }
}

// A NUL in a table name, key or value: reads give the default, writes and
// deletes do nothing, in memory and in the file.
TEST_F(SerializeManagerTest, ANulInATableKeyOrValueReadsTheDefaultAndChangesNothing) {
  const struct { std::wstring table, key, value; } kCases[] = {
      {L"t\0x"s, L"k", L"v"}, {L"t", L"k\0x"s, L"v"}, {L"t", L"k", L"v\0x"s}, {L"t\0"s, L"k\0"s, L"v\0"s}};
  SerializeManager store(name_.get());
  store.SaveValue(L"t", L"k", L"old");
  for (const auto& c : kCases) {
    SCOPED_TRACE(common::ws2s(c.table + L"|" + c.key + L"|" + c.value));
    const SandboxWatch watch = WatchAroundTheStore({common::GetPersistentFolder(L"Tessaquill", false)});
    store.SaveValue(c.table, c.key, c.value);
    store.SetValue(c.table, c.key, c.value);
    const bool readable = c.table == L"t" && c.key == L"k";
    EXPECT_EQ(store.GetValue(c.table, c.key, L"default"), readable ? L"old" : L"default");
    EXPECT_EQ(store.GetValues(c.table), c.table == L"t" ? (Values{{L"k", L"old"}}) : Values());
    if (!readable) store.DeleteKey(c.table, c.key);
    if (c.table != L"t") store.DeleteTable(c.table);
    EXPECT_EQ(store.GetValues(L"t"), (Values{{L"k", L"old"}}));
    EXPECT_TRUE(watch.Unchanged());
  }
  EXPECT_EQ(QueryFile(name_.get(), "select key, value from t"), Rows{"k|old"});
}

TEST_F(SerializeManagerTest, ALockedFileLogsTheSaveFailureAndTheCacheKeepsTheValue) {
  SerializeManager store(name_.get());
  store.SaveValue(L"t", L"k", L"on disk");
  const LogWatch log;
  {
    // Another program holds the write lock past the busy timeout.
    CppSQLite3DB other;
    other.open(common::ws2s(name_.file()).c_str(), false);
    other.execDML("begin immediate;");
    store.SaveValue(L"t", L"k", L"in memory");
    EXPECT_EQ(store.GetValue(L"t", L"k", L""), L"in memory");
    other.execDML("rollback;");
  }
  EXPECT_TRUE(Logged(log, "保存持久化值失败：database is locked")) << log.Added();
  EXPECT_EQ(QueryFile(name_.get(), "select key, value from t"), Rows{"k|on disk"});
  EXPECT_EQ(SerializeManager(name_.get()).GetValue(L"t", L"k", L""), L"on disk");
}

// SQLite's table names ignore letter case, the store's do not: a save, delete
// or drop under a name that differs only in case fails, logs, and never
// reaches the other table's rows.
TEST(SerializeManagerCase, ACaseVariantOfATableNameNeverTouchesTheOtherTable) {
  const std::pair<std::wstring, std::wstring> orders[] = {{L"settings", L"Settings"}, {L"Settings", L"settings"}};
  for (const auto& [first, second] : orders) {
    const std::string other = common::ws2s(second);
    SCOPED_TRACE(common::ws2s(first) + " then " + other);
    ScopedStoreName name;
    const LogWatch log;
    {
      SerializeManager store(name.get());
      store.SaveValue(first, L"width", L"100");
      store.SaveValue(second, L"width", L"999");
      EXPECT_EQ(store.GetValue(second, L"width", L""), L"999");
      EXPECT_EQ(store.GetValue(first, L"width", L""), L"100");
      store.DeleteKey(second, L"width");
      store.DeleteTable(second);
    }
    EXPECT_TRUE(Logged(log, "保存持久化值失败：table \"" + other + "\" already exists")) << log.Added();
    EXPECT_TRUE(Logged(log, "删除持久化数据失败：no such table: " + other)) << log.Added();
    EXPECT_TRUE(Logged(log, "删除持久化表失败：no such table: " + other)) << log.Added();
    EXPECT_EQ(QueryFile(name.get(), "select name from sqlite_master"), Rows{common::ws2s(first)});
    SerializeManager store(name.get());
    EXPECT_EQ(store.GetValue(first, L"width", L""), L"100");
    EXPECT_EQ(store.GetValue(second, L"width", L"none"), L"none");
  }
}

// A table the store did not make, without a key column: the key check, the
// save and the delete fail and log; memory keeps the save and the removal,
// the file keeps its row.
TEST_F(SerializeManagerTest, ATableWithoutAKeyColumnFailsEveryStatementAndMemoryKeepsItsChanges) {
  InsertRaw(name_.get(), "create table odd (a text, b text); insert into odd values ('k', 'loaded');");
  const LogWatch log;
  {
    SerializeManager store(name_.get());
    EXPECT_EQ(store.GetValue(L"odd", L"k", L""), L"loaded");
    store.SaveValue(L"odd", L"new", L"1");
    EXPECT_EQ(store.GetValue(L"odd", L"new", L""), L"1");
    store.DeleteKey(L"odd", L"k");
    EXPECT_EQ(store.GetValue(L"odd", L"k", L"gone"), L"gone");
  }
  EXPECT_TRUE(Logged(log, "查询持久化值失败：no such column: key")) << log.Added();
  EXPECT_TRUE(Logged(log, "保存持久化值失败：table odd has no column named key")) << log.Added();
  EXPECT_TRUE(Logged(log, "删除持久化数据失败：no such column: key")) << log.Added();
  EXPECT_EQ(QueryFile(name_.get(), "select a, b from odd"), Rows{"k|loaded"});
  EXPECT_EQ(SerializeManager(name_.get()).GetValue(L"odd", L"k", L""), L"loaded");
}

TEST_F(SerializeManagerTest, ALoadThatFailsKeepsWhatItLoadedAndTheNextStartsEmpty) {
  InsertRaw(name_.get(),
            "create table a (key text not null, value text not null); insert into a values ('k', 'loaded');"
            "create table b (key text not null, value text not null); insert into b values ('k', 'lost');");
  const size_t page = std::stoul(QueryFile(name_.get(), "pragma page_size")[0]);
  const size_t b_page = std::stoul(QueryFile(name_.get(), "select rootpage from sqlite_master where name='b'")[0]);
  std::string bytes = testing_support::ReadBytes(name_.file());
  ASSERT_GE(bytes.size(), b_page * page);
  bytes.replace((b_page - 1) * page, page, page, 'X');
  ASSERT_TRUE(testing_support::WriteBytes(name_.file(), bytes));
  const LogWatch log;
  {
    SerializeManager store(name_.get());
    EXPECT_TRUE(Logged(log, "初始化持久化失败：database disk image is malformed")) << log.Added();
    EXPECT_EQ(store.GetTables(), std::vector<std::wstring>{L"a"});
    EXPECT_EQ(store.GetValue(L"a", L"k", L""), L"loaded");
  }
  EXPECT_TRUE(SerializeManager(name_.get()).GetTables().empty());
}

}  // namespace
