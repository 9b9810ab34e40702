// The settings store beside raw SQLite doing the same work through prepared
// statements, on files in the same (persistent) folder and with the same
// journal and sync settings. Targets: a load within 1.5x of the raw select-all,
// a read among 100,000 rows within 2x of a read among 10, a save within 1.5x
// of the raw statements.
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "t_common/folders.h"
#include "t_common/store.h"
#include "t_common/text.h"

namespace {

const char kPragmas[] = "pragma journal_mode=wal; pragma synchronous=normal;";

std::wstring BenchStoreName(const char* what, int64_t rows) {
  return L"tq_bench_" + common::s2ws(what) + L"_" + std::to_wstring(rows);
}

std::string BenchFile(const std::wstring& name) {
  return common::ws2s(common::GetStoreFilePath(name, true));
}

void RemoveBenchFiles(const std::wstring& name) {
  const std::wstring base = common::s2ws(BenchFile(name));
  for (const wchar_t* suffix : {L"", L"-wal", L"-shm"}) ::DeleteFileW((base + suffix).c_str());
}

// A raw connection with the store's settings.
class RawDb {
 public:
  explicit RawDb(const std::string& file) {
    sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_exec(db_, kPragmas, nullptr, nullptr, nullptr);
  }
  ~RawDb() { sqlite3_close_v2(db_); }
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;
  sqlite3* get() const { return db_; }
  void Exec(const char* sql) { sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

 private:
  sqlite3* db_ = nullptr;
};

class RawStatement {
 public:
  RawStatement(sqlite3* db, const std::string& sql) { sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr); }
  ~RawStatement() { sqlite3_finalize(statement_); }
  RawStatement(const RawStatement&) = delete;
  RawStatement& operator=(const RawStatement&) = delete;
  sqlite3_stmt* get() const { return statement_; }
  void Bind(int parameter, const std::string& text) {
    sqlite3_bind_text(statement_, parameter, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  // Steps to the end; true when there was a row.
  bool Run() {
    bool row = false;
    while (sqlite3_step(statement_) == SQLITE_ROW) row = true;
    sqlite3_reset(statement_);
    return row;
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

std::string RowKey(int64_t i) { return "setting.key." + std::to_string(i); }
std::string RowValue(int64_t i) { return "value of setting " + std::to_string(i * 7919); }

// A store file of one table with the given number of rows, made once per name.
std::wstring PrepareStoreFile(const char* what, int64_t rows) {
  const std::wstring name = BenchStoreName(what, rows);
  RemoveBenchFiles(name);
  RawDb db(BenchFile(name));
  db.Exec("create table \"settings\" (key text not null,value text not null);");
  db.Exec("begin;");
  RawStatement insert(db.get(), "insert into \"settings\" values(?1,?2);");
  for (int64_t i = 0; i < rows; ++i) {
    insert.Bind(1, RowKey(i));
    insert.Bind(2, RowValue(i));
    insert.Run();
  }
  db.Exec("commit;");
  return name;
}

void BM_StoreLoad(benchmark::State& state) {
  const std::wstring name = PrepareStoreFile("load", state.range(0));
  for (auto _ : state) {
    auto store = std::make_unique<common::SerializeManager>(name);
    benchmark::DoNotOptimize(store.get());
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  RemoveBenchFiles(name);
}

void BM_RawLoad(benchmark::State& state) {
  const std::wstring name = PrepareStoreFile("load", state.range(0));
  for (auto _ : state) {
    std::vector<std::pair<std::string, std::string>> rows;
    RawDb db(BenchFile(name));
    RawStatement tables(db.get(), "select * from sqlite_master where type='table';");
    while (sqlite3_step(tables.get()) == SQLITE_ROW) {
      RawStatement select(db.get(), "select * from \"settings\";");
      while (sqlite3_step(select.get()) == SQLITE_ROW) {
        rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0)),
                          reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 1)));
      }
    }
    benchmark::DoNotOptimize(rows.data());
    state.PauseTiming();
    rows = {};
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  RemoveBenchFiles(name);
}

void BM_StoreGetHit(benchmark::State& state) {
  const std::wstring name = PrepareStoreFile("get", state.range(0));
  common::SerializeManager store(name);
  const std::wstring key = common::s2ws(RowKey(state.range(0) / 2));
  for (auto _ : state) benchmark::DoNotOptimize(store.GetValue(L"settings", key, L""));
  RemoveBenchFiles(name);
}

void BM_StoreGetMiss(benchmark::State& state) {
  const std::wstring name = PrepareStoreFile("get", state.range(0));
  common::SerializeManager store(name);
  const std::wstring key = common::s2ws(RowKey(state.range(0) + 1));
  for (auto _ : state) benchmark::DoNotOptimize(store.GetValue(L"settings", key, L""));
  RemoveBenchFiles(name);
}

// The same read in the file: no index on the key, as in the store's tables.
void BM_RawGetHit(benchmark::State& state) {
  const std::wstring name = PrepareStoreFile("get", state.range(0));
  RawDb db(BenchFile(name));
  RawStatement find(db.get(), "select value from \"settings\" where key=?1;");
  find.Bind(1, RowKey(state.range(0) / 2));
  for (auto _ : state) benchmark::DoNotOptimize(find.Run());
  RemoveBenchFiles(name);
}

constexpr int64_t kSaveTableRows = 100;
constexpr int64_t kSaves = 2000;

void BM_StoreSaveNewKey(benchmark::State& state) {
  const std::wstring name = PrepareStoreFile("save_new", kSaveTableRows);
  common::SerializeManager store(name);
  int64_t i = kSaveTableRows;
  for (auto _ : state) store.SaveValue(L"settings", common::s2ws(RowKey(i++)), L"new value");
  RemoveBenchFiles(name);
}

void BM_StoreSaveExistingKey(benchmark::State& state) {
  const std::wstring name = PrepareStoreFile("save_existing", kSaveTableRows);
  common::SerializeManager store(name);
  int64_t i = 0;
  for (auto _ : state) {
    store.SaveValue(L"settings", common::s2ws(RowKey(i % kSaveTableRows)), std::to_wstring(i));
    ++i;
  }
  RemoveBenchFiles(name);
}

// The store's statements for one save, compiled once: table check, key check,
// then the insert (new key) or the update (existing key).
class RawSaver {
 public:
  explicit RawSaver(sqlite3* db)
      : table_exists_(db, "select 1 from sqlite_master where type='table' and name=?;"),
        find_(db, "select * from \"settings\" where key=?1;"),
        insert_(db,
                "insert into \"settings\" (key,value) select ?1,?2 where not exists (select 1 from \"settings\" "
                "where key=?1);"),
        update_(db, "update \"settings\" set value=?1 where key=?2;") {}

  void Save(const std::string& key, const std::string& value) {
    table_exists_.Bind(1, "settings");
    table_exists_.Run();
    find_.Bind(1, key);
    if (find_.Run()) {
      update_.Bind(1, value);
      update_.Bind(2, key);
      update_.Run();
    } else {
      insert_.Bind(1, key);
      insert_.Bind(2, value);
      insert_.Run();
    }
  }

 private:
  RawStatement table_exists_, find_, insert_, update_;
};

void BM_RawSaveNewKey(benchmark::State& state) {
  const std::wstring name = PrepareStoreFile("raw_save_new", kSaveTableRows);
  RawDb db(BenchFile(name));
  RawSaver saver(db.get());
  int64_t i = kSaveTableRows;
  for (auto _ : state) saver.Save(RowKey(i++), "new value");
  RemoveBenchFiles(name);
}

void BM_RawSaveExistingKey(benchmark::State& state) {
  const std::wstring name = PrepareStoreFile("raw_save_existing", kSaveTableRows);
  RawDb db(BenchFile(name));
  RawSaver saver(db.get());
  int64_t i = 0;
  for (auto _ : state) {
    saver.Save(RowKey(i % kSaveTableRows), std::to_string(i));
    ++i;
  }
  RemoveBenchFiles(name);
}

// Each store case beside its raw twin, so that both run under the same load.
BENCHMARK(BM_StoreLoad)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawLoad)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreLoad)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawLoad)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreLoad)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawLoad)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreGetHit)->Arg(10)->Arg(100000);
BENCHMARK(BM_StoreGetMiss)->Arg(10)->Arg(100000);
BENCHMARK(BM_RawGetHit)->Arg(10)->Arg(100000);
// A fixed number of saves, so that both sides grow their table alike.
BENCHMARK(BM_StoreSaveNewKey)->Iterations(kSaves)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawSaveNewKey)->Iterations(kSaves)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreSaveExistingKey)->Iterations(kSaves)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawSaveExistingKey)->Iterations(kSaves)->Unit(benchmark::kMicrosecond);

}  // namespace
