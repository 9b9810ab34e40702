#include <iterator>
#include <unordered_set>

#include "foundation/product_names.h"
#include "t_base/program_log.h"
#include "t_common/files.h"
#include "t_common/folders.h"
#include "t_common/store.h"
#include "t_common/text.h"

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

void LogFailure(const wchar_t* format, const CppSQLite3Exception& error) {
  WriteProgramLogNoMask(format, s2ws(error.errorMessage(), 65001).c_str());
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

}  // namespace

std::wstring GetStoreFilePath(const std::wstring& name, bool create_folder) {
  const std::wstring folder = GetPersistentFolder(TQ_PRODUCT_NAME, create_folder);
  if (folder.empty()) return std::wstring();
  return folder + L"\\" + (name.empty() ? std::wstring(TQ_STORE_NAME) : name) + L".db";
}

SerializeManager::SerializeManager() { OpenSerialize(std::wstring()); }

SerializeManager::SerializeManager(const std::wstring& name) { OpenSerialize(name); }

SerializeManager::~SerializeManager() {
  db_.close();
  index_.clear();
  cache_.clear();
}

void SerializeManager::OpenSerialize(const std::wstring& name) {
  Lock lock(mutex_);
  std::wstring path;
  Utf8Converter converter;
  try {
    path = GetStoreFilePath(name, true);
    OpenDatabase(db_, path);
    CppSQLite3Query tables = db_.execQuery("select * from sqlite_master where type='table';");
    for (; !tables.eof(); tables.nextRow()) {
      const std::string table(tables.fieldValue(1));
      const std::wstring wide_table = s2ws(table, 65001);
      CppSQLite3Query rows = db_.execQuery(("select * from " + QuoteName(table) + ";").c_str());
      for (; !rows.eof(); rows.nextRow())
        AppendEntry(wide_table, converter.Convert(rows.fieldValue(0)), converter.Convert(rows.fieldValue(1)));
      rows.finalize();
    }
    tables.finalize();
  } catch (const CppSQLite3Exception& error) {
    // The file cannot be deleted while it is open here.
    db_.close();
    DeleteDirectory(path.c_str(), false);
    LogFailure(L"初始化持久化失败：%s", error);
    try {
      OpenDatabase(db_, path);
    } catch (const CppSQLite3Exception&) {
      // Not logged twice: every later save on the closed connection logs its own failure.
    }
  }
}

void SerializeManager::AppendEntry(std::wstring table, std::wstring key, std::wstring value) {
  std::map<std::wstring, std::wstring> row;
  row.emplace(std::move(key), std::move(value));
  cache_.emplace_back(std::move(table), std::move(row));
  const Cache::iterator entry = std::prev(cache_.end());
  const auto [holders, inserted] =
      index_.try_emplace(CacheKey(entry->first, entry->second.begin()->first), Holders{entry, 1});
  if (!inserted) ++holders->second.count;
}

SerializeManager::Holders* SerializeManager::FindHolders(const std::wstring& table, const std::wstring& key) {
  const auto found = index_.find(CacheKey(table, key));
  return found == index_.end() ? nullptr : &found->second;
}

std::wstring SerializeManager::GetValueImpl(const std::wstring& table, const std::wstring& key,
                                            const std::wstring& default_value) {
  Lock lock(mutex_);
  if (table.empty() || key.empty()) return default_value;
  const Holders* holders = FindHolders(table, key);
  return holders ? holders->first->second.find(key)->second : default_value;
}

void SerializeManager::SetValueImpl(const std::wstring& table, const std::wstring& key, const std::wstring& value) {
  Lock lock(mutex_);
  if (table.empty() || key.empty()) return;
  if (Holders* holders = FindHolders(table, key)) {
    holders->first->second.find(key)->second = value;
  } else {
    AppendEntry(table, key, value);
  }
}

void SerializeManager::SaveValueImpl(const std::wstring& table, const std::wstring& key, const std::wstring& value) {
  SetValueImpl(table, key, value);
  try {
    const std::string narrow_table = ws2s(table, 65001);
    const std::string quoted = QuoteName(narrow_table);
    if (!db_.tableExists(narrow_table.c_str()))
      db_.execDML(("create table if not exists " + quoted + " (key text not null,value text not null);").c_str());
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
    // Only when no row holds the key by now: another thread or process may
    // have inserted it since the check, and then it is updated instead.
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
  Lock lock(mutex_);
  std::map<std::wstring, std::wstring> values;
  for (const Entry& entry : cache_) {
    if (entry.first == table) values.insert(entry.second.begin(), entry.second.end());
  }
  return values;
}

std::vector<std::wstring> SerializeManager::GetTables() {
  Lock lock(mutex_);
  std::vector<std::wstring> tables;
  std::unordered_set<std::wstring_view> seen;
  for (const Entry& entry : cache_) {
    if (seen.insert(entry.first).second) tables.push_back(entry.first);
  }
  return tables;
}

void SerializeManager::DeleteKey(const std::wstring& table, const std::wstring& key) {
  Lock lock(mutex_);
  if (Holders* holders = FindHolders(table, key)) {
    const Cache::iterator entry = holders->first;
    const size_t remaining = holders->count - 1;
    index_.erase(CacheKey(table, key));
    entry->second.erase(key);
    if (remaining > 0) {
      Cache::iterator next = std::next(entry);
      while (next->first != table || next->second.count(key) == 0) ++next;
      index_.emplace(CacheKey(next->first, next->second.find(key)->first), Holders{next, remaining});
    }
  }
  try {
    CppSQLite3Statement remove =
        db_.compileStatement(("delete from " + QuoteName(ws2s(table, 65001)) + " where key=?1;").c_str());
    remove.bind(1, ws2s(key, 65001));
    remove.execDML();
  } catch (const CppSQLite3Exception& error) {
    LogFailure(L"删除持久化数据失败：%s", error);
  }
}

void SerializeManager::DeleteTable(const std::wstring& table) {
  try {
    db_.execDML(("drop table " + QuoteName(ws2s(table, 65001)) + ";").c_str());
  } catch (const CppSQLite3Exception& error) {
    LogFailure(L"删除持久化表失败：%s", error);
  }
}

}  // namespace common
