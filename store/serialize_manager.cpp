#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "foundation/input_checks.h"
#include "foundation/product_names.h"
#include "t_base/program_log.h"
#include "t_common/files.h"
#include "t_common/folders.h"
#include "t_common/store.h"
#include "t_common/text.h"
#include "win/scoped_handle.h"

namespace common {

namespace {

using Lock = boost::mutex::scoped_lock;

// A table name as an SQL identifier: between double quotes, embedded quotes
// doubled. Keys and values are never pasted into statements; they are bound.
std::string QuoteName(const std::string& table) {
  std::string quoted = "\"";
  for (const char c : table) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

constexpr wchar_t kOpenFailure[] = L"初始化持久化失败：%s";

void LogFailure(const wchar_t* format, const char* message) {
  WriteProgramLogNoMask(format, s2ws(message, 65001).c_str());
}
void LogFailure(const wchar_t* format, const CppSQLite3Exception& error) { LogFailure(format, error.errorMessage()); }

// The store file's write-ahead log, index and journal, then the file itself
// (never a folder in its place); false when the file stays.
bool RemoveStoreFiles(const std::wstring& path) {
  for (const wchar_t* suffix : {L"-wal", L"-shm", L"-journal"}) ForceRemoveFile((path + suffix).c_str());
  return ForceRemoveFile(path.c_str());
}

// True when the file holds bytes that do not begin with SQLite's header
// ("SQLite format 3" and a NUL); an empty file is a new store.
bool LacksSqliteHeader(HANDLE file) {
  static constexpr char kHeader[] = "SQLite format 3";
  char bytes[sizeof kHeader] = {};
  DWORD read = 0;
  if (!::ReadFile(file, bytes, sizeof bytes, &read, nullptr)) return false;
  return read > 0 && (read < sizeof bytes || std::memcmp(bytes, kHeader, sizeof bytes) != 0);
}

enum class StoreFile { kUsable, kReplaced, kDamagedAndKept };

// SQLite takes page 1 from a write-ahead log beside the file whenever the log
// holds it, so a file whose header is gone would open as the store that wrote
// that log. Such a file is no store whatever lies beside it: it goes, with its
// log, index and journal. Only a handle that shares nothing but deletion
// decides that, so no process can have the file open meanwhile and a store
// that another process is using (or creating) is never taken for a damaged
// one. A damaged file that stays (someone else keeps it open) is not opened.
StoreFile ClearDamagedFile(const std::wstring& path) {
  constexpr int kAttempts = 20;
  constexpr DWORD kPauseMs = 50;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    win::ScopedHandle own(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (own) {
      if (!LacksSqliteHeader(own.get())) return StoreFile::kUsable;
      // The file itself goes when own closes.
      return RemoveStoreFiles(path) ? StoreFile::kReplaced : StoreFile::kDamagedAndKept;
    }
    // Missing (a new store), or a failure that SQLite reports itself (a folder, no access).
    if (::GetLastError() != ERROR_SHARING_VIOLATION) return StoreFile::kUsable;
    win::ScopedHandle shared(::CreateFileW(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (shared && !LacksSqliteHeader(shared.get())) return StoreFile::kUsable;
    // Another process may be deciding about the same file right now.
    ::Sleep(kPauseMs);
  }
  return StoreFile::kDamagedAndKept;
}

// UTF-8 to wide text as s2ws gives it, straight from the row's own text:
// plain ASCII (most keys and values) is widened in place, anything else takes
// one conversion pass. Conversions are the load's main cost besides SQLite.
class Utf8Converter {
 public:
  std::wstring Convert(std::string_view text) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      return std::wstring(text.begin(), text.end());
    if (text.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
    if (buffer_.size() < text.size()) buffer_.resize(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), buffer_.data(),
                                             static_cast<int>(buffer_.size()));
    return length > 0 ? std::wstring(buffer_.data(), static_cast<size_t>(length)) : std::wstring();
  }

 private:
  std::vector<wchar_t> buffer_;
};

// Write-ahead log with normal sync: a completed save is in the log file before
// the call returns, so it survives the process being killed right after, and a
// commit costs one write instead of a journal round. Readers never block the
// writer, which the client's programs sharing one file rely on.
void OpenDatabase(CppSQLite3DB& db, const std::wstring& path) {
  db.open(ws2s(path, 65001).c_str(), true);
  try {
    db.execDML("pragma journal_mode=wal; pragma synchronous=normal;");
  } catch (const CppSQLite3Exception&) {
    // Nothing to report: a file whose mode cannot change (read-only) keeps its own and works as before.
  }
}

// SQLite matches table names whatever their letter case, the store does not:
// a create under a name that differs from an existing table's only in case
// fails, so the save never reaches the other table's rows. A table of exactly
// this name that another process created since the check is used as it is.
void CreateTable(CppSQLite3DB& db, const std::string& table) {
  try {
    db.execDML(("create table " + QuoteName(table) + " (key text not null,value text not null);").c_str());
  } catch (const CppSQLite3Exception&) {
    if (!db.tableExists(table.c_str())) throw;
  }
}

// For the same reason a delete or drop runs only on a table of exactly this name.
void RequireTable(CppSQLite3DB& db, const std::string& table) {
  constexpr int kSqliteError = 1;
  if (!db.tableExists(table.c_str())) throw CppSQLite3Exception(kSqliteError, "no such table: " + table);
}

}  // namespace

// Answers exactly as a walk of the entries in order would: the first entry of
// a table that holds a key answers for it; entries are never merged, moved or
// removed, and a deleted key leaves its entry empty. An index finds that first
// entry, and each table chains its own entries in order, so neither a read nor
// a table's listing walks the whole store.
class SerializeManager::Cache {
 public:
  const std::wstring* Find(const std::wstring& table, const std::wstring& key) const {
    const uint32_t id = TableId(table);
    if (id == kNone) return nullptr;
    const Slot* slot = FindSlot(id, key, Hash(id, key));
    return slot ? &entries_[slot->first].value : nullptr;
  }

  // The table's id, a new one when memory holds no such table yet.
  uint32_t AddTable(const std::wstring& table) {
    const auto [found, added] = table_ids_.try_emplace(table, static_cast<uint32_t>(tables_.size()));
    if (added) tables_.push_back(Table{table, kNone, kNone});
    return found->second;
  }

  void Append(uint32_t table, std::wstring key, std::wstring value) {
    const auto at = static_cast<uint32_t>(entries_.size());
    const size_t hash = Hash(table, key);
    entries_.push_back(Entry{std::move(key), std::move(value), table, kNone, true});
    Table& chain = tables_[table];
    (chain.first == kNone ? chain.first : entries_[chain.last].next) = at;
    chain.last = at;
    if (Slot* slot = FindSlot(table, entries_[at].key, hash)) {
      ++slot->count;
    } else {
      AddSlot(Slot{hash, at, 1});
    }
  }

  void Set(const std::wstring& table, const std::wstring& key, const std::wstring& value) {
    const uint32_t id = TableId(table);
    if (id != kNone) {
      if (const Slot* slot = FindSlot(id, key, Hash(id, key))) {
        entries_[slot->first].value = value;
        return;
      }
    }
    Append(AddTable(table), key, value);
  }

  // Empties the first entry holding the key; the next one holding it answers from then on.
  void Remove(const std::wstring& table, const std::wstring& key) {
    const uint32_t id = TableId(table);
    if (id == kNone) return;
    Slot* slot = FindSlot(id, key, Hash(id, key));
    if (!slot) return;
    Entry& emptied = entries_[slot->first];
    emptied.held = false;
    if (slot->count > 1) {
      uint32_t next = emptied.next;
      while (!entries_[next].held || entries_[next].key != key) next = entries_[next].next;
      slot->first = next;
      --slot->count;
    } else {
      RemoveSlot(slot);
    }
    emptied.key = std::wstring();
    emptied.value = std::wstring();
  }

  std::map<std::wstring, std::wstring> Values(const std::wstring& table) const {
    std::map<std::wstring, std::wstring> values;
    const uint32_t id = TableId(table);
    if (id == kNone) return values;
    for (uint32_t at = tables_[id].first; at != kNone; at = entries_[at].next) {
      const Entry& entry = entries_[at];
      if (entry.held) values.emplace(entry.key, entry.value);
    }
    return values;
  }

  // In the order of each table's first entry.
  std::vector<std::wstring> Tables() const {
    std::vector<const Table*> held;
    for (const Table& table : tables_)
      if (table.first != kNone) held.push_back(&table);
    std::sort(held.begin(), held.end(), [](const Table* a, const Table* b) { return a->first < b->first; });
    std::vector<std::wstring> names;
    for (const Table* table : held) names.push_back(table->name);
    return names;
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Entry {
    std::wstring key;
    std::wstring value;
    uint32_t table;
    uint32_t next;  // the table's next entry
    bool held;
  };
  struct Table {
    std::wstring name;
    uint32_t first;
    uint32_t last;
  };
  // One held table and key of the index: the first entry holding it and how
  // many entries hold it. Open addressing with linear probing, at most half
  // full: a load adds no allocation per row beyond the row's own text.
  struct Slot {
    size_t hash;
    uint32_t first;  // kNone: a free slot
    uint32_t count;
  };

  static size_t Hash(uint32_t table, const std::wstring& key) {
    return std::hash<std::wstring_view>()(key) * 31 + table;
  }

  uint32_t TableId(const std::wstring& table) const {
    const auto found = table_ids_.find(table);
    return found == table_ids_.end() ? kNone : found->second;
  }

  size_t Home(size_t hash) const { return hash & (slots_.size() - 1); }

  const Slot* FindSlot(uint32_t table, const std::wstring& key, size_t hash) const {
    if (slots_.empty()) return nullptr;
    for (size_t i = Home(hash);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& slot = slots_[i];
      if (slot.first == kNone) return nullptr;
      if (slot.hash == hash && entries_[slot.first].table == table && entries_[slot.first].key == key) return &slot;
    }
  }
  Slot* FindSlot(uint32_t table, const std::wstring& key, size_t hash) {
    return const_cast<Slot*>(std::as_const(*this).FindSlot(table, key, hash));
  }

  void AddSlot(const Slot& added) {
    if (2 * (used_ + 1) > slots_.size()) {
      std::vector<Slot> old(std::max<size_t>(16, 2 * slots_.size()), Slot{0, kNone, 0});
      old.swap(slots_);
      for (const Slot& slot : old)
        if (slot.first != kNone) Place(slot);
    }
    Place(added);
    ++used_;
  }

  void Place(const Slot& placed) {
    size_t i = Home(placed.hash);
    while (slots_[i].first != kNone) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = placed;
  }

  // Backward-shift deletion: every slot after the freed one that probed past
  // it moves up, so that lookups never stop early at a hole.
  void RemoveSlot(Slot* removed) {
    const size_t mask = slots_.size() - 1;
    size_t hole = static_cast<size_t>(removed - slots_.data());
    for (size_t i = (hole + 1) & mask; slots_[i].first != kNone; i = (i + 1) & mask) {
      const size_t home = Home(slots_[i].hash);
      const bool stays = hole < i ? (hole < home && home <= i) : (hole < home || home <= i);
      if (stays) continue;
      slots_[hole] = slots_[i];
      hole = i;
    }
    slots_[hole].first = kNone;
    --used_;
  }

  std::vector<Entry> entries_;
  std::vector<Table> tables_;
  std::unordered_map<std::wstring, uint32_t> table_ids_;
  std::vector<Slot> slots_;
  size_t used_ = 0;
};

std::wstring GetStoreFilePath(const std::wstring& name, bool create_folder) {
  // One plain name: a path would leave the folder, and a NUL (a control
  // character to IsPlainName) would cut the path short.
  if (!name.empty() && !IsPlainName(name)) return std::wstring();
  const std::wstring folder = GetPersistentFolder(TQ_PRODUCT_NAME, create_folder);
  if (folder.empty()) return std::wstring();
  return folder + L"\\" + (name.empty() ? std::wstring(TQ_STORE_NAME) : name) + L".db";
}

SerializeManager::SerializeManager() : cache_(std::make_unique<Cache>()) { OpenSerialize(std::wstring()); }

SerializeManager::SerializeManager(const std::wstring& name) : cache_(std::make_unique<Cache>()) {
  OpenSerialize(name);
}

SerializeManager::~SerializeManager() {
  db_.close();
  cache_.reset();
}

void SerializeManager::OpenSerialize(const std::wstring& name) {
  Lock statements(statement_mutex_);
  // No other thread can reach the store before its construction ends, so
  // holding memory's lock through the load keeps no reader waiting.
  Lock lock(mutex_);
  // Without a file the store works in memory; every statement then fails.
  const std::wstring path = GetStoreFilePath(name, true);
  if (path.empty()) {
    LogFailure(kOpenFailure, "unable to open database file");
    return;
  }
  const StoreFile file = ClearDamagedFile(path);
  if (file != StoreFile::kUsable) LogFailure(kOpenFailure, "file is not a database");
  if (file == StoreFile::kDamagedAndKept) return;
  Utf8Converter converter;
  try {
    OpenDatabase(db_, path);
    CppSQLite3Query tables = db_.execQuery("select * from sqlite_master where type='table';");
    for (; !tables.eof(); tables.nextRow()) {
      const std::string table(tables.fieldValue(1));
      const uint32_t id = cache_->AddTable(s2ws(table, 65001));
      CppSQLite3Query rows = db_.execQuery(("select * from " + QuoteName(table) + ";").c_str());
      for (; !rows.eof(); rows.nextRow())
        cache_->Append(id, converter.Convert(rows.fieldValue(0)), converter.Convert(rows.fieldValue(1)));
      rows.finalize();
    }
    tables.finalize();
  } catch (const CppSQLite3Exception& error) {
    // The file cannot be deleted while it is open here. A log or journal left
    // beside it would be paired with the fresh file that takes its name.
    db_.close();
    RemoveStoreFiles(path);
    LogFailure(kOpenFailure, error);
    try {
      OpenDatabase(db_, path);
    } catch (const CppSQLite3Exception&) {
      // Not logged twice: every later save on the closed connection logs its own failure.
    }
  }
}

std::wstring SerializeManager::GetValueImpl(const std::wstring& table, const std::wstring& key,
                                            const std::wstring& default_value) {
  Lock lock(mutex_);
  if (table.empty() || key.empty() || AnyHoldsNul(table, key)) return default_value;
  const std::wstring* value = cache_->Find(table, key);
  return value ? *value : default_value;
}

void SerializeManager::SetValueImpl(const std::wstring& table, const std::wstring& key, const std::wstring& value) {
  Lock lock(mutex_);
  if (table.empty() || key.empty() || AnyHoldsNul(table, key, value)) return;
  cache_->Set(table, key, value);
}

void SerializeManager::SaveValueImpl(const std::wstring& table, const std::wstring& key, const std::wstring& value) {
  if (AnyHoldsNul(table, key, value)) return;
  Lock statements(statement_mutex_);
  SetValueImpl(table, key, value);
  try {
    const std::string narrow_table = ws2s(table, 65001);
    const std::string quoted = QuoteName(narrow_table);
    if (!db_.tableExists(narrow_table.c_str())) CreateTable(db_, narrow_table);
    const std::string narrow_key = ws2s(key, 65001);
    const std::string narrow_value = ws2s(value, 65001);
    const auto update = [&] {
      CppSQLite3Statement statement =
          db_.compileStatement(("update " + quoted + " set value=?1 where key=?2;").c_str());
      statement.bind(1, narrow_value);
      statement.bind(2, narrow_key);
      statement.execDML();
    };
    if (IsFindKey(table, key)) {
      update();
      return;
    }
    // Only when no row holds the key by now: another process may have
    // inserted it since the check, and then it is updated instead.
    CppSQLite3Statement insert =
        db_.compileStatement(("insert into " + quoted + " (key,value) select ?1,?2 where not exists (select 1 from " +
                              quoted + " where key=?1);")
                                 .c_str());
    insert.bind(1, narrow_key);
    insert.bind(2, narrow_value);
    if (insert.execDML() == 0) update();
  } catch (const CppSQLite3Exception& error) {
    LogFailure(L"保存持久化值失败：%s", error);
  }
}

bool SerializeManager::IsFindKey(const std::wstring& table, const std::wstring& key) {
  try {
    CppSQLite3Statement find =
        db_.compileStatement(("select * from " + QuoteName(ws2s(table, 65001)) + " where key=?1;").c_str());
    find.bind(1, ws2s(key, 65001));
    CppSQLite3Query rows = find.execQuery();
    const bool found = !rows.eof();
    rows.finalize();
    return found;
  } catch (const CppSQLite3Exception& error) {
    LogFailure(L"查询持久化值失败：%s", error);
    return false;
  }
}

std::map<std::wstring, std::wstring> SerializeManager::GetValues(const std::wstring& table) {
  if (HoldsNul(table)) return {};
  Lock lock(mutex_);
  return cache_->Values(table);
}

std::vector<std::wstring> SerializeManager::GetTables() {
  Lock lock(mutex_);
  return cache_->Tables();
}

void SerializeManager::DeleteKey(const std::wstring& table, const std::wstring& key) {
  if (AnyHoldsNul(table, key)) return;
  Lock statements(statement_mutex_);
  {
    Lock lock(mutex_);
    cache_->Remove(table, key);
  }
  try {
    const std::string narrow_table = ws2s(table, 65001);
    RequireTable(db_, narrow_table);
    CppSQLite3Statement remove =
        db_.compileStatement(("delete from " + QuoteName(narrow_table) + " where key=?1;").c_str());
    remove.bind(1, ws2s(key, 65001));
    remove.execDML();
  } catch (const CppSQLite3Exception& error) {
    LogFailure(L"删除持久化数据失败：%s", error);
  }
}

void SerializeManager::DeleteTable(const std::wstring& table) {
  if (HoldsNul(table)) return;
  Lock statements(statement_mutex_);
  try {
    const std::string narrow_table = ws2s(table, 65001);
    RequireTable(db_, narrow_table);
    db_.execDML(("drop table " + QuoteName(narrow_table) + ";").c_str());
  } catch (const CppSQLite3Exception& error) {
    LogFailure(L"删除持久化表失败：%s", error);
  }
}

}  // namespace common
