// A small C++ layer over SQLite, shipped with SQLite in t_sqlite.dll.
//
// Every failure throws CppSQLite3Exception with SQLite's code and message; no
// call returns an error code. Text goes in and out as UTF-8 with its exact
// length, so embedded NULs survive. A connection may be used from several
// threads at once (SQLite is built serialized); a query or statement object
// belongs to one thread at a time and ends before its connection object.
// open() creates a missing file and sets a
// busy timeout, so that several processes sharing one file wait for each
// other's locks instead of failing.
#ifndef CPPSQLITE3_CPPSQLITE3_H_
#define CPPSQLITE3_CPPSQLITE3_H_

#include <memory>
#include <string>
#include <string_view>

#if defined(CPPSQLITE3_BUILDING)
#define CPPSQLITE3_API __declspec(dllexport)
#else
#define CPPSQLITE3_API __declspec(dllimport)
#endif

struct sqlite3;
struct sqlite3_stmt;

class CPPSQLITE3_API CppSQLite3Exception {
 public:
  CppSQLite3Exception(int error_code, const std::string& message);

  int errorCode() const { return error_code_; }
  // SQLite's message followed by its numeric code in parentheses.
  const char* errorMessage() const { return message_.c_str(); }

 private:
  int error_code_;
  std::string message_;
};

// The rows of one statement. The first row (if any) is current right after
// the statement ran.
class CPPSQLITE3_API CppSQLite3Query {
 public:
  CppSQLite3Query() = default;
  CppSQLite3Query(CppSQLite3Query&& other) noexcept;
  CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
  CppSQLite3Query(const CppSQLite3Query&) = delete;
  CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
  ~CppSQLite3Query();

  // True when there is no current row.
  bool eof() const { return eof_; }
  int numFields() const;
  // The column's text of the current row (empty for NULL), valid until the
  // row changes; throws without a current row or for a column out of range.
  std::string_view fieldValue(int field) const;
  void nextRow();
  // Releases the statement (a compiled statement is only reset). Idempotent.
  void finalize();

 private:
  friend class CppSQLite3DB;
  friend class CppSQLite3Statement;
  CppSQLite3Query(sqlite3* db, sqlite3_stmt* statement, bool owns_statement);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* statement_ = nullptr;
  bool owns_statement_ = false;
  bool eof_ = true;
};

class CppSQLite3DB;

// A compiled statement with text parameters, run as often as needed. When it
// ends, its connection keeps it for the next compileStatement of the same text.
class CPPSQLITE3_API CppSQLite3Statement {
 public:
  CppSQLite3Statement() = default;
  CppSQLite3Statement(CppSQLite3Statement&& other) noexcept;
  CppSQLite3Statement& operator=(CppSQLite3Statement&& other) noexcept;
  CppSQLite3Statement(const CppSQLite3Statement&) = delete;
  CppSQLite3Statement& operator=(const CppSQLite3Statement&) = delete;
  ~CppSQLite3Statement();

  // Parameters are numbered from 1; the text is copied.
  void bind(int parameter, const std::string& text);
  // Runs the statement to its end and makes it ready to run again; returns
  // the number of rows it changed.
  int execDML();
  // The query keeps this statement: run it to its end or finalize it before
  // binding again.
  CppSQLite3Query execQuery();
  void reset();
  void finalize();

 private:
  friend class CppSQLite3DB;
  CppSQLite3Statement(CppSQLite3DB* owner, sqlite3* db, sqlite3_stmt* statement, std::string sql);

  CppSQLite3DB* owner_ = nullptr;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* statement_ = nullptr;
  std::string sql_;
};

class CPPSQLITE3_API CppSQLite3DB {
 public:
  static constexpr int kBusyTimeoutMs = 5000;

  CppSQLite3DB();
  CppSQLite3DB(const CppSQLite3DB&) = delete;
  CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;
  ~CppSQLite3DB();

  // Opens the file for reading and writing (read-only when the file is), and
  // creates it when missing if create is set. Closes an open connection first.
  void open(const char* file, bool create);
  // Queries and statements still alive keep the connection until they end.
  void close();
  bool isOpen() const { return db_ != nullptr; }

  // Runs every statement of the text in turn; the row count of the last one.
  int execDML(const char* sql);
  CppSQLite3Query execQuery(const char* sql);
  // Whether an ordinary table of exactly this name exists.
  bool tableExists(const char* table);
  // Reuses an idle statement of the same text when there is one.
  CppSQLite3Statement compileStatement(const char* sql);
  void setBusyTimeout(int milliseconds);

 private:
  friend class CppSQLite3Statement;
  struct IdleStatements;

  sqlite3* checkedDb() const;
  sqlite3_stmt* prepare(const char* sql, const char** tail);
  // Keeps a statement that ended for reuse, or finalizes it.
  void recycle(sqlite3* db, std::string sql, sqlite3_stmt* statement) noexcept;

  sqlite3* db_ = nullptr;
  std::unique_ptr<IdleStatements> idle_;
};

#endif  // CPPSQLITE3_CPPSQLITE3_H_
