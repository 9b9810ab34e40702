// The settings store on its file: memory and file, bad input, damage, and
// several threads and processes on one file; then the database wrapper's own
// guarantees that the store cannot show.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <climits>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/sandbox.h"
#include "support/test_support.h"
#include "t_common/folders.h"
#include "t_common/store.h"
#include "t_common/text.h"
#include "win/scoped_handle.h"

namespace {

using common::SerializeManager;
using namespace testing_support;
using Rows = std::vector<std::string>;
using Values = std::map<std::wstring, std::wstring>;
using Names = std::vector<std::wstring>;
using namespace std::string_literals;

std::wstring StoreFile(const std::wstring& name) { return common::GetStoreFilePath(name, true); }
void RemoveStoreFiles(const std::wstring& name) {
  for (const wchar_t* suffix : {L"", L"-wal", L"-shm", L"-journal"}) ::DeleteFileW((StoreFile(name) + suffix).c_str());
}

// Another connection on the store's file runs the statements, then the query:
// every row of it, its columns joined by '|'.
Rows OnFile(const std::wstring& name, const std::string& query, const std::string& statements = "") {
  CppSQLite3DB db;
  db.open(common::ws2s(StoreFile(name)).c_str(), !statements.empty());
  if (!statements.empty()) db.execDML(statements.c_str());
  Rows rows;
  for (CppSQLite3Query result = db.execQuery(query.c_str()); !result.eof(); result.nextRow())
    for (int i = 0; i < result.numFields(); ++i) (i ? rows.back() += '|' : rows.emplace_back()) += result.fieldValue(i);
  return rows;
}

// A store name no other test or run uses; its files go at both ends.
struct ScopedStoreName {
  ScopedStoreName() { RemoveStoreFiles(name); }
  ~ScopedStoreName() { RemoveStoreFiles(name); }
  std::wstring file() const { return StoreFile(name); }
  inline static std::atomic<int> counter{0};
  const std::wstring name = L"tq_store_test_" + std::to_wstring(::GetCurrentProcessId() * 1000ull + ++counter);
};

std::wstring ChildVariable(const wchar_t* name) { return ::_wgetenv(name) ? ::_wgetenv(name) : L""; }

// Each text saved twice keeps one row; quotes, blanks, SQL and column names
// reach only their own table and row; a value only set is gone at the next
// construction. Typed values round-trip; text that is not a number, a minus
// for an unsigned type, a number beyond the type read as the default.
TEST(Store, QuotesAndSqlReachOnlyTheirOwnRowAndTypedValuesRoundTrip) {
  ScopedStoreName name;
  const std::wstring tables[] = {L"with blanks  here", L"say \"hi\"", L"it's", L"key", L"\U0001F600 \u8868"};
  const Values values = {{L"key", L"value"}, {L"value", L"a\"b"}, {L"a\"b", L"\"\""}, {L"'; drop table t; --", L""},
                         {L"x' or '1'='1", L"\U0001F4C8\u884c\u60c5"}, {L"?1", L"key"},
                         {L"long", std::wstring(1 << 16, L'\u884c')}};
  for (const std::wstring& table : tables) {
    SerializeManager store(name.name);
    for (const wchar_t* prefix : {L"before ", L""})
      for (const auto& [key, value] : values) store.SaveValue(table, key, prefix + value);
    store.SetValue(table, L"set only", L"gone");
  }
  SerializeManager store(name.name);
  for (const std::wstring& table : tables) {
    std::string quoted;
    for (const char c : common::ws2s(table)) quoted += c == '"' ? "\"\""s : std::string(1, c);
    EXPECT_EQ(OnFile(name.name, "select count(*) from \"" + quoted + "\""), Rows{"7"});
    EXPECT_EQ(store.GetValues(table), values);
  }
  const auto read = [&store](const auto& in, const auto& fallback) {
    return store.SetValue(L"n", L"k", in), store.GetValue(L"n", L"k", fallback);
  };
  EXPECT_EQ(std::make_tuple(read(-42, 0), read(4000000000u, 0u), read(LLONG_MIN, 0LL), read(true, false)),
            std::make_tuple(-42, 4000000000u, LLONG_MIN, true));
  EXPECT_EQ(std::make_tuple(read(false, true), read(L"abc", true), read(L"abc", 5), read(L"abc", 2.5), read(-42, 5u)),
            std::make_tuple(false, true, 5, 2.5, 5u));
  EXPECT_EQ(std::make_tuple(read(L" -1", 5ull), read(70000, short{5}), read(1.0 / 3, 0.0)),
            std::make_tuple(5ull, short{5}, 1.0 / 3));
}

// Bystanders in the persistent folder and the product folder above it, the
// files that a path in a store name would reach outside the first (the second
// and the roaming folder two above it), and what the caller adds.
SandboxWatch WatchAroundTheStore(Names watched) {
  const std::wstring persistent = common::GetPersistentFolder(L"Tessaquill", true);
  for (const std::wstring& folder : {persistent, persistent + L"\\.."}) {
    PlantBystanders(folder);
    for (const wchar_t* name : {L"\\keep.txt", L"\\keep.db", L"\\sub", L"\\escaped.db", L"\\..\\..\\escaped.db"})
      watched.push_back(folder + name);
  }
  return SandboxWatch(std::move(watched));
}

// SQLite takes page 1 from a write-ahead log beside the file whenever the log
// holds it: a file without SQLite's header must never open as the store that
// wrote the log. It goes with the log and the store starts empty; an empty
// file is a new store; a damaged file that another program holds open, and a
// folder in the file's place, stay as they are and the store works in memory.
TEST(Store, AFileWithoutTheHeaderNeverOpensAsTheStoreOfALogBesideIt) {
  enum Damage { kHeader, kEmpty, kHeld, kFolder };
  const std::pair<Damage, std::string> kCases[] = {{kHeader, "file is not a database"}, {kEmpty, ""},
                                                   {kHeld, "file is not a database"},
                                                   {kFolder, "unable to open database file (14)"}};
  for (const auto& [damage, reason] : kCases) {
    SCOPED_TRACE(damage);
    ScopedStoreName a, b;
    SerializeManager(a.name).SaveValue(L"mine", L"k", L"a's row");
    SerializeManager other(b.name);  // open, so that its log stays
    other.SaveValue(L"theirs", L"k", L"b's row");
    std::string bytes = ReadBytes(a.file());
    const std::string log_file = ReadBytes(b.file() + L"-wal");
    ASSERT_TRUE(WriteBytes(a.file(), damage == kEmpty ? "" : bytes.replace(0, 16, 16, 'X')) &&
                WriteBytes(a.file() + L"-wal", log_file));
    if (damage == kFolder) ::DeleteFileW(a.file().c_str()), PlantBystanders(a.file());
    const bool kept = damage == kHeld || damage == kFolder;
    const SandboxWatch watch = WatchAroundTheStore(kept ? Names{a.file()} : Names());
    const win::ScopedHandle holder(damage == kHeld ? ::CreateFileW(a.file().c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr) : nullptr);
    const LogWatch log;
    SerializeManager store(a.name);
    EXPECT_EQ(log.Added(), reason.empty() ? "" : "初始化持久化失败：" + reason + "\n");
    EXPECT_TRUE(store.GetTables().empty());
    store.SaveValue(L"t", L"k", L"v");
    EXPECT_EQ(store.GetValues(L"t"), (Values{{L"k", L"v"}}));
    EXPECT_TRUE(watch.Unchanged());
    EXPECT_TRUE(damage != kHeld || ReadBytes(a.file() + L"-wal") == log_file);
    EXPECT_TRUE(kept || SerializeManager(a.name).GetTables() == Names{L"t"});
    if (kept) RemoveTree(a.file());
  }
}

// Bad input changes nothing beyond memory. A store name that is no plain name
// (a NUL would cut the path short) reaches no file: the store works in memory.
// A NUL in a table name, key or value: reads give the default, writes and
// deletes do nothing, in memory and in the file.
TEST(Store, BadInputReachesNoFile) {
  ScopedStoreName good;
  SerializeManager(good.name).SaveValue(L"t", L"k", L"old");
  // The store name and what t/k then holds; the table, key and value of the calls.
  const struct { std::wstring name, held, table = L"t", key = L"k", value = L"v"; } kCases[] = {
      {L"\0"s, L"v"}, {L"sub\0junk"s, L"v"}, {L"keep.txt\0"s, L"v"}, {L"keep.db\0"s, L"v"}, {L"..\\escaped", L"v"},
      {L"..\\..\\..\\escaped", L"v"}, {L"sub\\escaped", L"v"}, {good.name, L"old", L"t\0x"s},
      {good.name, L"old", L"t", L"k\0x"s}, {good.name, L"old", L"t", L"k", L"v\0x"s},
      {good.name, L"old", L"t\0"s, L"k\0"s, L"v\0"s}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(common::ws2s(c.name + L"|" + c.table + L"|" + c.key + L"|" + c.value));
    const SandboxWatch watch = WatchAroundTheStore({common::GetPersistentFolder(L"Tessaquill", false)});
    EXPECT_EQ(common::GetStoreFilePath(c.name, true).empty(), c.name != good.name);
    {
      SerializeManager store(c.name);
      store.SaveValue(c.table, c.key, c.value), store.SetValue(c.table, c.key, c.value);
      const bool plain = c.table == L"t" && c.key == L"k";
      EXPECT_EQ(store.GetValue(c.table, c.key, L"default"), plain ? c.held : L"default");
      EXPECT_EQ(store.GetValues(c.table), (c.table == L"t" ? Values{{L"k", c.held}} : Values()));
      store.DeleteKey(c.table, plain ? L"gone" : c.key), store.DeleteTable(c.table == L"t" ? L"gone" : c.table);
      EXPECT_EQ(store.GetValues(L"t"), (Values{{L"k", c.held}}));
    }
    EXPECT_TRUE(watch.Unchanged());
  }
}

// Each loaded row is an entry: the first holding a key answers; a delete
// empties it and the next one answers. An empty table name or key reads the
// default and is never cached. A delete reaches rows memory never held; a
// dropped table stays readable in memory until the next construction.
// SQLite's table names ignore letter case, the store's do not: a save, delete
// or drop under a name that differs only in case fails and never reaches the
// other table. A table the store did not make, without a key column, loads by
// column position and fails the key check, the save and the delete. Each
// failure logs; memory keeps the saves and the removal, the file its rows.
// Then a load that fails keeps what it loaded, and the next one starts empty.
TEST(Store, RowsLoadAsEntriesAndFailingStatementsOrLoadsLogAndKeepMemory) {
  ScopedStoreName name;
  OnFile(name.name, "select 1", "create table t (key text not null, value text not null); insert into t values "
                                "('k', 'first'), ('other', 'x'), ('k', 'second'), ('', 'empty key');"
                                "create table \"\" (key text not null, value text not null); insert into \"\" values ('k', 'nameless');"
                                "create table odd (a text, b text); insert into odd values ('k', 'loaded');"
                                "create table settings (key text not null, value text not null);"
                                "insert into settings values ('width', '100');");
  const LogWatch log;
  {
    SerializeManager store(name.name);
    store.SetValue(L"", L"k", L"v"), store.SetValue(L"t", L"", L"v");
    EXPECT_EQ(store.GetValue(L"", L"k", L"d") + store.GetValue(L"t", L"", L"d"), L"dd");
    EXPECT_EQ(store.GetValues(L""), (Values{{L"k", L"nameless"}}));
    EXPECT_EQ(store.GetValues(L"t"), (Values{{L"", L"empty key"}, {L"k", L"first"}, {L"other", L"x"}}));
    store.SetValue(L"t", L"k", L"changed");
    OnFile(name.name, "select 1", "insert into t values ('late', 'a'), ('late', 'b');");
    std::wstring seen;  // each read before a delete; "late" is a row memory never held
    for (const wchar_t* key : {L"k", L"k", L"k", L"late"})
      seen += store.GetValue(L"t", key, L"none") + L",", store.DeleteKey(L"t", key);
    EXPECT_EQ(seen, L"changed,second,none,none,");
    EXPECT_EQ(OnFile(name.name, "select key from t order by key"), (Rows{"", "other"}));
    store.DeleteTable(L"t");
    EXPECT_EQ(OnFile(name.name, "select count(*) from sqlite_master where name = 't'"), Rows{"0"});
    EXPECT_EQ(store.GetValue(L"t", L"other", L""), L"x");
    store.SaveValue(L"t", L"b", L"2");
    store.SaveValue(L"Settings", L"width", L"999"), store.DeleteKey(L"Settings", L"height");
    store.DeleteTable(L"Settings"), store.SaveValue(L"odd", L"new", L"1"), store.DeleteKey(L"odd", L"k");
    EXPECT_EQ(store.GetValues(L"Settings"), (Values{{L"width", L"999"}}));
    EXPECT_EQ(store.GetValues(L"odd"), (Values{{L"new", L"1"}}));
  }
  EXPECT_EQ(log.Added(), "保存持久化值失败：table \"Settings\" already exists (1)\n删除持久化数据失败：no such table: Settings (1)\n"
                         "删除持久化表失败：no such table: Settings (1)\n查询持久化值失败：no such column: key (1)\n"
                         "保存持久化值失败：table odd has no column named key (1)\n删除持久化数据失败：no such column: key (1)\n");
  EXPECT_EQ(SerializeManager(name.name).GetValues(L"odd"), (Values{{L"k", L"loaded"}}));
  EXPECT_EQ(SerializeManager(name.name).GetValues(L"t"), (Values{{L"b", L"2"}}));
  EXPECT_EQ(OnFile(name.name, "select * from odd union all select * from settings"), (Rows{"k|loaded", "width|100"}));
  // A table's root page overwritten: "settings" and "t" load, "zlost" after them fails.
  const size_t page = std::stoul(OnFile(name.name, "pragma page_size", "drop table odd; create table zlost (key text"
                                        " not null, value text not null); insert into zlost values ('k', 'lost');")[0]);
  const size_t root = std::stoul(OnFile(name.name, "select rootpage from sqlite_master where name='zlost'")[0]);
  std::string bytes = ReadBytes(name.file());
  ASSERT_TRUE(bytes.size() >= root * page && WriteBytes(name.file(), bytes.replace((root - 1) * page, page, page, 'X')));
  {
    const LogWatch failed_load;
    SerializeManager damaged(name.name);
    EXPECT_EQ(failed_load.Added(), "初始化持久化失败：database disk image is malformed (11)\n");
    EXPECT_EQ(damaged.GetTables(), (Names{L"", L"settings", L"t"}));
    EXPECT_EQ(damaged.GetValues(L"settings"), (Values{{L"width", L"100"}}));
  }
  EXPECT_TRUE(SerializeManager(name.name).GetTables().empty());
}

// The process-wide stores are decided by the first call in a process, so the
// test runs again in a child for each first name. The default store is made
// once when threads call together; the named store is the first name's,
// whatever later callers pass (an empty name: a second cache on the default
// file; no plain name: a store in memory); a value only set is not written
// back at unload. A fresh machine gets the folder, the default file and a
// table of two text columns that must hold a value at the first save.
TEST(PersistentInstance, TheFirstCallsDecideTheStores) {
  if (!IsChildRun()) {
    ScopedStoreName a, b;
    const std::wstring folder = common::GetPersistentFolder(L"Tessaquill", false);
    ASSERT_TRUE(RemoveTree(folder));
    for (const std::wstring& first : {a.name, L"..\\Persistent\\" + b.name, L""s}) {
      EXPECT_EQ(RunSelfInChild("PersistentInstance.*", {{L"TQ_A", first}, {L"TQ_B", b.name}}), 0);
      EXPECT_THROW(OnFile(b.name, "select 1"), CppSQLite3Exception);  // no file, and opening did not make one
      EXPECT_TRUE(common::IsPathFileExisting((folder + L"\\Tessaquill.db").c_str()));  // made before any save
    }
    EXPECT_EQ(OnFile(a.name, "select * from t"), Rows{"k|saved"});
    EXPECT_EQ(OnFile(L"", "select name, type, \"notnull\", s.* from pragma_table_info('t'), t s"),
              (Rows{"key|TEXT|1|k|saved", "value|TEXT|1|k|saved"}));
    return RemoveStoreFiles(L"");
  }
  std::vector<SerializeManager*> seen(8);
  std::atomic<int> next{0};
  RunOnThreadsAtOnce(8, [&] { seen[next++] = &common::SinglePersistentInstance(); });
  SerializeManager& single = common::SinglePersistentInstance();
  SerializeManager& named = common::PersistentInstance(ChildVariable(L"TQ_A"));
  EXPECT_EQ(seen, std::vector<SerializeManager*>(8, &single));
  EXPECT_TRUE(&common::PersistentInstance(ChildVariable(L"TQ_B")) == &named && &named != &single);
  single.SetValue(L"t", L"set only", L"2"), named.SaveValue(L"t", L"k", L"saved");
  EXPECT_EQ(single.GetValue(L"t", L"k", L"not seen"), L"not seen");
}

// Writer w's key i and its value.
std::wstring Key(int w, int i) { return L"w" + std::to_wstring(w) + L"_" + std::to_wstring(i); }
std::wstring Value(int w, int i) { return L"value " + Key(w, i); }

// Eight threads save and read keys of their own, then delete every third,
// and race for shared keys new to the file: each shared key ends as one row
// that holds what memory holds.
TEST(StoreConcurrency, EightThreadsOnOneStore) {
  ScopedStoreName name;
  SerializeManager store(name.name);
  std::atomic<int> next{0}, misread{0};
  RunOnThreadsAtOnce(8, [&] {
    const int t = next++;
    for (int i = 0; i < 500; ++i) {
      store.SaveValue(L"t", Key(t, i), Value(t, i));
      if (i > 0 && store.GetValue(L"t", Key(t, i - 1), L"") != Value(t, i - 1)) ++misread;
      if (i < 100) store.SaveValue(L"shared", Key(0, i), Value(t, i));
    }
    for (int i = 0; i < 500; i += 3) store.DeleteKey(L"t", Key(t, i));
  });
  EXPECT_EQ(misread.load(), 0);
  for (int t = 0; t < 8; ++t)
    for (int i = 0; i < 500; ++i) ASSERT_EQ(store.GetValue(L"t", Key(t, i), L"gone"), i % 3 ? Value(t, i) : L"gone");
  SerializeManager reloaded(name.name);
  for (const wchar_t* table : {L"t", L"shared"}) EXPECT_EQ(reloaded.GetValues(table), store.GetValues(table));
  EXPECT_EQ(OnFile(name.name, "select count(*), count(distinct key) from shared"), Rows{"100|100"});
}

// Reads are answered from memory, so they never wait for a save or a delete
// that waits for another program's write lock. A key that the other program
// inserts meanwhile is updated, not lost.
TEST(StoreConcurrency, ReadsNeverWaitForTheFileAndAKeyInsertedMeanwhileIsUpdated) {
  ScopedStoreName name;
  SerializeManager store(name.name);
  store.SaveValue(L"t", L"deleted", L"1"), store.SaveValue(L"t", L"kept", L"2");
  const LogWatch log;
  for (const bool saving : {true, false}) {
    CppSQLite3DB other;
    other.open(common::ws2s(name.file()).c_str(), false), other.execDML("begin immediate;");
    std::thread waiting([&] { saving ? store.SaveValue(L"t", L"raced", L"mine") : store.DeleteKey(L"t", L"deleted"); });
    ::Sleep(500);  // for it to reach its wait (the busy timeout is 5 s)
    EXPECT_EQ(store.GetValue(L"t", L"kept", L"") + store.GetValues(L"t").at(L"kept") + store.GetTables().at(0), L"22t");
    other.execDML(saving ? "insert into t values ('raced', 'theirs'); commit;" : "rollback;"), waiting.join();
  }
  EXPECT_EQ(log.Added(), "") << "the reads waited for a statement to fail";
  EXPECT_EQ(OnFile(name.name, "select key, value from t order by key"), (Rows{"kept|2", "raced|mine"}));
}

// Two processes save into one file at once; the second is killed in the
// middle of its saves once the first is done, and loses none it reported. In
// the child: keys of writer TQ_WRITER into store TQ_STORE; with TQ_PROGRESS
// set it appends each key's number to that file once its save has returned,
// and keeps going until killed.
TEST(StoreConcurrency, TwoProcessesOnOneFileAndAWriterKilledInTheMiddle) {
  if (IsChildRun()) {
    const int writer = std::stoi(ChildVariable(L"TQ_WRITER"));
    SerializeManager store(ChildVariable(L"TQ_STORE"));
    std::ofstream progress(ChildVariable(L"TQ_PROGRESS").c_str());
    for (int i = 0; i < (progress.is_open() ? 1000000 : 1000); ++i)
      store.SaveValue(L"t", Key(writer, i), Value(writer, i)), progress << i << std::endl;  // nothing when not open
    return;
  }
  ScopedStoreName name;
  ScopedTempDir temp;
  const std::wstring progress_file = temp.Child(L"progress.txt");
  const LogWatch log;
  const auto start = [&](const wchar_t* writer, const std::wstring& progress) {
    const std::vector<std::pair<std::wstring, std::wstring>> variables = {
        {L"TQ_STORE", name.name}, {L"TQ_WRITER", writer}, {L"TQ_PROGRESS", progress}};
    return win::ScopedHandle(StartSelfInChild("StoreConcurrency.TwoProcesses*", variables));
  };
  const auto exit_code = [](const win::ScopedHandle& process) {  // 1 when it did not end
    DWORD code = 1;
    return ::WaitForSingleObject(process.get(), 300000) || !::GetExitCodeProcess(process.get(), &code) ? 1 : code;
  };
  const win::ScopedHandle first = start(L"1", L""), second = start(L"2", progress_file);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(exit_code(first), 0u);
  WaitFor([&] { return ReadBytes(progress_file).size() >= 2000; }, 60000);
  EXPECT_EQ((::TerminateProcess(second.get(), 9), exit_code(second)), 9u);
  std::istringstream reported(ReadBytes(progress_file));
  std::vector<int> done;
  for (int i = 0; reported >> i;) done.push_back(i);
  ASSERT_GE(done.size(), 300u);
  EXPECT_EQ(OnFile(name.name, "pragma integrity_check"), Rows{"ok"});
  SerializeManager store(name.name);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(store.GetValue(L"t", Key(1, i), L""), Value(1, i)) << i;
  for (int i : done) ASSERT_EQ(store.GetValue(L"t", Key(2, i), L""), Value(2, i)) << i;
  EXPECT_EQ(log.Added(), "");
}

// Each row count belongs to the statement that ran, also while other threads
// run statements on the same connection (the store runs one at a time). A
// reused statement starts without its last bindings; a query may end after the
// connection closed. (That the wrapper creates a file only when asked shows in
// the helper OnFile: above, a query alone on a missing file must throw.)
TEST(CppSQLite3, RowCountsStayWithTheirStatementAndRecycledStatementsStartUnbound) {
  CppSQLite3DB db;
  db.open(":memory:", true);
  db.execDML("create table one (v); insert into one values (0); create table three (v); insert into three values "
             "(0), (0), (0); create table t (k text not null);");
  std::atomic<int> next{0}, wrong{0};
  RunOnThreadsAtOnce(6, [&] {
    const int rows = next++ % 2 ? 3 : 1;
    CppSQLite3Statement update = db.compileStatement(rows == 3 ? "update three set v=v+1;" : "update one set v=v+1;");
    for (int i = 0; i < 20000; ++i) wrong += update.execDML() != rows;
  });
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(db.execQuery("select v from one;").fieldValue(0), "60000");
  db.compileStatement("insert into t values (?1);").bind(1, "first");
  CppSQLite3Statement again = db.compileStatement("insert into t values (?1);");
  EXPECT_THROW(again.execDML(), CppSQLite3Exception);
  CppSQLite3Query query = db.execQuery("select count(*) from t;");
  db.close();
  EXPECT_EQ(query.fieldValue(0), "0");
}

}  // namespace
