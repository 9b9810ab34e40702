#include "cppsqlite3/cppsqlite3.h"

#include <sqlite3.h>

#include <climits>
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>

namespace {

// The connection's own mutex (recursive in serialized mode) is held across a
// call and the reading of its message, so that another thread's failure on
// the same connection cannot replace the message in between.
class ConnectionLock {
 public:
  explicit ConnectionLock(sqlite3* db) : mutex_(sqlite3_db_mutex(db)) { sqlite3_mutex_enter(mutex_); }
  ~ConnectionLock() { sqlite3_mutex_leave(mutex_); }
  ConnectionLock(const ConnectionLock&) = delete;
  ConnectionLock& operator=(const ConnectionLock&) = delete;

 private:
  sqlite3_mutex* mutex_;
};

[[noreturn]] void ThrowError(int code, const char* message) {
  throw CppSQLite3Exception(code, message ? message : sqlite3_errstr(code));
}

[[noreturn]] void ThrowConnectionError(sqlite3* db, int code) { ThrowError(code, db ? sqlite3_errmsg(db) : nullptr); }

void ThrowMisuse(const char* message) { ThrowError(SQLITE_MISUSE, message); }

// True when the step produced a row, false at the end.
bool Step(sqlite3* db, sqlite3_stmt* statement) {
  ConnectionLock lock(db);
  const int result = sqlite3_step(statement);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  ThrowConnectionError(db, result);
}

}  // namespace

CppSQLite3Exception::CppSQLite3Exception(int error_code, const std::string& message)
    : error_code_(error_code), message_(message + " (" + std::to_string(error_code) + ")") {}

// ---------------------------------------------------------------------------

CppSQLite3Query::CppSQLite3Query(sqlite3* db, sqlite3_stmt* statement, bool owns_statement)
    : db_(db), statement_(statement), owns_statement_(owns_statement) {
  try {
    eof_ = !Step(db_, statement_);
  } catch (...) {
    finalize();
    throw;
  }
}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      statement_(std::exchange(other.statement_, nullptr)),
      owns_statement_(other.owns_statement_),
      eof_(std::exchange(other.eof_, true)) {}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept {
  if (this != &other) {
    finalize();
    db_ = std::exchange(other.db_, nullptr);
    statement_ = std::exchange(other.statement_, nullptr);
    owns_statement_ = other.owns_statement_;
    eof_ = std::exchange(other.eof_, true);
  }
  return *this;
}

CppSQLite3Query::~CppSQLite3Query() { finalize(); }

int CppSQLite3Query::numFields() const { return statement_ ? sqlite3_column_count(statement_) : 0; }

std::string_view CppSQLite3Query::fieldValue(int field) const {
  if (!statement_ || eof_) ThrowMisuse("no current row");
  if (field < 0 || field >= sqlite3_column_count(statement_)) ThrowError(SQLITE_RANGE, "invalid field index");
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, field));
  const int bytes = sqlite3_column_bytes(statement_, field);
  return text ? std::string_view(text, static_cast<size_t>(bytes)) : std::string_view();
}

void CppSQLite3Query::nextRow() {
  if (!statement_ || eof_) ThrowMisuse("no current row");
  eof_ = !Step(db_, statement_);
}

void CppSQLite3Query::finalize() {
  if (statement_) {
    if (owns_statement_) {
      sqlite3_finalize(statement_);
    } else {
      sqlite3_reset(statement_);
    }
  }
  statement_ = nullptr;
  db_ = nullptr;
  eof_ = true;
}

// ---------------------------------------------------------------------------

CppSQLite3Statement::CppSQLite3Statement(CppSQLite3DB* owner, sqlite3* db, sqlite3_stmt* statement, std::string sql)
    : owner_(owner), db_(db), statement_(statement), sql_(std::move(sql)) {}

CppSQLite3Statement::CppSQLite3Statement(CppSQLite3Statement&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)),
      db_(std::exchange(other.db_, nullptr)),
      statement_(std::exchange(other.statement_, nullptr)),
      sql_(std::move(other.sql_)) {}

CppSQLite3Statement& CppSQLite3Statement::operator=(CppSQLite3Statement&& other) noexcept {
  if (this != &other) {
    finalize();
    owner_ = std::exchange(other.owner_, nullptr);
    db_ = std::exchange(other.db_, nullptr);
    statement_ = std::exchange(other.statement_, nullptr);
    sql_ = std::move(other.sql_);
  }
  return *this;
}

CppSQLite3Statement::~CppSQLite3Statement() { finalize(); }

void CppSQLite3Statement::bind(int parameter, const std::string& text) {
  if (!statement_) ThrowMisuse("statement not compiled");
  if (text.size() > static_cast<size_t>(INT_MAX)) ThrowError(SQLITE_TOOBIG, "text too long");
  ConnectionLock lock(db_);
  const int result =
      sqlite3_bind_text(statement_, parameter, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  if (result != SQLITE_OK) ThrowConnectionError(db_, result);
}

int CppSQLite3Statement::execDML() {
  if (!statement_) ThrowMisuse("statement not compiled");
  // The count is the connection's, so another thread's statement ending
  // between the last step and the read would replace it.
  ConnectionLock lock(db_);
  try {
    while (Step(db_, statement_)) {
    }
  } catch (...) {
    sqlite3_reset(statement_);
    throw;
  }
  const int changes = sqlite3_changes(db_);
  sqlite3_reset(statement_);
  return changes;
}

CppSQLite3Query CppSQLite3Statement::execQuery() {
  if (!statement_) ThrowMisuse("statement not compiled");
  return CppSQLite3Query(db_, statement_, false);
}

void CppSQLite3Statement::reset() {
  if (statement_) sqlite3_reset(statement_);
}

void CppSQLite3Statement::finalize() {
  if (statement_) {
    if (owner_) {
      owner_->recycle(db_, std::move(sql_), statement_);
    } else {
      sqlite3_finalize(statement_);
    }
  }
  owner_ = nullptr;
  statement_ = nullptr;
  db_ = nullptr;
}

// ---------------------------------------------------------------------------

// Statements that ended, by their text, guarded by the connection's mutex.
// Compiling costs about as much as running a short statement, so a store that
// runs the same few statements again and again keeps them.
struct CppSQLite3DB::IdleStatements {
  static constexpr size_t kMaxIdle = 64;
  std::unordered_multimap<std::string, sqlite3_stmt*> statements;
};

CppSQLite3DB::CppSQLite3DB() = default;

CppSQLite3DB::~CppSQLite3DB() { close(); }

void CppSQLite3DB::open(const char* file, bool create) {
  close();
  if (!file) ThrowMisuse("no file name");
  if (!idle_) idle_ = std::make_unique<IdleStatements>();
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  sqlite3* db = nullptr;
  const int result = sqlite3_open_v2(file, &db, flags, nullptr);
  if (result != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(result);
    sqlite3_close_v2(db);
    ThrowError(result, message.c_str());
  }
  db_ = db;
  setBusyTimeout(kBusyTimeoutMs);
}

void CppSQLite3DB::close() {
  if (!db_) return;
  for (const auto& idle : idle_->statements) sqlite3_finalize(idle.second);
  idle_->statements.clear();
  sqlite3_close_v2(std::exchange(db_, nullptr));
}

void CppSQLite3DB::recycle(sqlite3* db, std::string sql, sqlite3_stmt* statement) noexcept {
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  // A statement of a connection closed (or replaced) since is only finalized.
  if (db == db_) {
    ConnectionLock lock(db);
    try {
      if (idle_->statements.size() < IdleStatements::kMaxIdle) {
        idle_->statements.emplace(std::move(sql), statement);
        return;
      }
    } catch (const std::bad_alloc&) {
    }
  }
  sqlite3_finalize(statement);
}

sqlite3* CppSQLite3DB::checkedDb() const {
  if (!db_) ThrowMisuse("database not open");
  return db_;
}

sqlite3_stmt* CppSQLite3DB::prepare(const char* sql, const char** tail) {
  sqlite3* db = checkedDb();
  if (!sql) ThrowMisuse("no statement");
  ConnectionLock lock(db);
  sqlite3_stmt* statement = nullptr;
  const int result = sqlite3_prepare_v2(db, sql, -1, &statement, tail);
  if (result != SQLITE_OK) ThrowConnectionError(db, result);
  return statement;
}

int CppSQLite3DB::execDML(const char* sql) {
  int changes = 0;
  while (sql && *sql) {
    const char* tail = nullptr;
    sqlite3_stmt* statement = prepare(sql, &tail);
    sql = tail;
    if (!statement) continue;  // only blanks or a comment
    CppSQLite3Statement owner(nullptr, db_, statement, std::string());
    changes = owner.execDML();
  }
  return changes;
}

CppSQLite3Query CppSQLite3DB::execQuery(const char* sql) {
  sqlite3_stmt* statement = prepare(sql, nullptr);
  if (!statement) ThrowMisuse("no statement");
  return CppSQLite3Query(db_, statement, true);
}

bool CppSQLite3DB::tableExists(const char* table) {
  if (!table) return false;
  CppSQLite3Statement statement = compileStatement("select 1 from sqlite_master where type='table' and name=?;");
  statement.bind(1, table);
  return !statement.execQuery().eof();
}

CppSQLite3Statement CppSQLite3DB::compileStatement(const char* sql) {
  sqlite3* db = checkedDb();
  if (!sql) ThrowMisuse("no statement");
  std::string text = sql;
  {
    ConnectionLock lock(db);
    {
      const auto idle = idle_->statements.find(text);
      if (idle != idle_->statements.end()) {
        sqlite3_stmt* statement = idle->second;
        idle_->statements.erase(idle);
        return CppSQLite3Statement(this, db, statement, std::move(text));
      }
    }
  }
  sqlite3_stmt* statement = prepare(sql, nullptr);
  if (!statement) ThrowMisuse("no statement");
  return CppSQLite3Statement(this, db, statement, std::move(text));
}

void CppSQLite3DB::setBusyTimeout(int milliseconds) { sqlite3_busy_timeout(checkedDb(), milliseconds); }
