// Helpers of the store tests: a store file of the test's own in the real
// persistent folder, direct reads of that file, and the program log's growth.
#ifndef TESTS_STORE_STORE_TEST_UTIL_H_
#define TESTS_STORE_STORE_TEST_UTIL_H_

#include <cppsqlite3/cppsqlite3.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "t_common/folders.h"
#include "t_common/store.h"
#include "t_common/text.h"

namespace store_test {

inline std::wstring StoreFile(const std::wstring& name) { return common::GetStoreFilePath(name, true); }

// The database with its write-ahead log and index files.
inline void RemoveStoreFiles(const std::wstring& name) {
  for (const wchar_t* suffix : {L"", L"-wal", L"-shm", L"-journal"}) {
    ::SetFileAttributesW((StoreFile(name) + suffix).c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW((StoreFile(name) + suffix).c_str());
  }
}

// Every row of a query on the store's file, its columns joined by '|'.
inline std::vector<std::string> QueryFile(const std::wstring& name, const std::string& sql) {
  CppSQLite3DB db;
  db.open(common::ws2s(StoreFile(name)).c_str(), false);
  std::vector<std::string> rows;
  for (CppSQLite3Query query = db.execQuery(sql.c_str()); !query.eof(); query.nextRow()) {
    std::string row;
    for (int i = 0; i < query.numFields(); ++i) row += (i ? "|" : "") + std::string(query.fieldValue(i));
    rows.push_back(row);
  }
  return rows;
}

// A store name no other test or run uses; its files are removed at both ends.
class ScopedStoreName {
 public:
  ScopedStoreName() { RemoveStoreFiles(name_); }
  ~ScopedStoreName() { RemoveStoreFiles(name_); }
  const std::wstring& get() const { return name_; }
  std::wstring file() const { return StoreFile(name_); }

 private:
  inline static LONG counter_ = 0;
  const std::wstring name_ = L"tq_store_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                             std::to_wstring(::InterlockedIncrement(&counter_));
};

using testing_support::LogWatch;

inline std::wstring ChildVariable(const wchar_t* name) {
  const wchar_t* value = ::_wgetenv(name);
  return value ? value : L"";
}

}  // namespace store_test

#endif  // TESTS_STORE_STORE_TEST_UTIL_H_
