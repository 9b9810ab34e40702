/// @file
/// The persistent settings store: text values by table and key, kept in an
/// SQLite file in the persistent folder ("Tessaquill.db", or `"<name>.db"`) and
/// mirrored in memory.
///
/// Construction loads the whole file; reads are answered from memory only.
/// SetValue changes memory only; SaveValue changes memory and then writes the
/// row through at once. Database failures never reach the caller: each one is
/// written to the program log and the operation ends quietly (a file that is
/// not a database is deleted, and the store starts empty). A table name, key or
/// value holding a NUL is refused: reads give the default, writes and deletes
/// do nothing. Nothing is written back at destruction. Safe to use from several
/// threads and, on one file, from several processes.
///
/// The process-wide stores: SinglePersistentInstance() is the default file;
/// PersistentInstance(name) is the file named by its first caller, whatever
/// later callers pass. Both live until the library unloads.
///
///   common::SinglePersistentInstance().SaveValue(L"holidays", L"2026", L"...");
///   int days = common::SinglePersistentInstance().GetValue(L"ui", L"days", 5);
#ifndef T_COMMON_STORE_H_
#define T_COMMON_STORE_H_

#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/thread/mutex.hpp>
#include <cppsqlite3/cppsqlite3.h>

#include "t_common/export.h"

namespace common {

/// A settings store on one database file; see above.
class T_COMMON_API SerializeManager {
 public:
  /// The default store, "Tessaquill.db".
  SerializeManager();
  /// `"<name>.db"`; an empty name is the default file. A name that is no plain
  /// file name (a path, a NUL) opens no file: the store works in memory only.
  explicit SerializeManager(const std::wstring& name);
  ~SerializeManager();
  SerializeManager(const SerializeManager&) = delete;
  SerializeManager& operator=(const SerializeManager&) = delete;

  /// The stored text converted to T; the default when the table or key is
  /// empty, the key is not held, or the text does not read as a T.
  template <typename T>
  T GetValue(const std::wstring& table, const std::wstring& key, const T& default_value) {
    return S2T(GetValueImpl(table, key, T2S(default_value)), default_value);
  }
  /// The stored text; the default (null reads as empty) when the table or key
  /// is empty or the key is not held.
  std::wstring GetValue(const std::wstring& table, const std::wstring& key, const wchar_t* default_value) {
    return GetValueImpl(table, key, T2S(default_value));
  }
  /// Memory only: gone with this object. Ignored for an empty table or key.
  template <typename T>
  void SetValue(const std::wstring& table, const std::wstring& key, const T& value) {
    SetValueImpl(table, key, T2S(value));
  }
  /// Memory, then the database row.
  template <typename T>
  void SaveValue(const std::wstring& table, const std::wstring& key, const T& value) {
    SaveValueImpl(table, key, T2S(value));
  }

  /// Every key of the table, the first held value of each.
  std::map<std::wstring, std::wstring> GetValues(const std::wstring& table);
  /// The tables held in memory, in the order of their first value.
  std::vector<std::wstring> GetTables();
  /// Removes the key from memory and every row of it from the database.
  void DeleteKey(const std::wstring& table, const std::wstring& key);
  /// Drops the table from the database only: its values stay readable here
  /// until the store is constructed again.
  void DeleteTable(const std::wstring& table);

 private:
  // Memory's entries, their index and each table's chain (serialize_manager.cpp).
  class Cache;

  void OpenSerialize(const std::wstring& name);
  std::wstring GetValueImpl(const std::wstring& table, const std::wstring& key, const std::wstring& default_value);
  void SetValueImpl(const std::wstring& table, const std::wstring& key, const std::wstring& value);
  void SaveValueImpl(const std::wstring& table, const std::wstring& key, const std::wstring& value);
  bool IsFindKey(const std::wstring& table, const std::wstring& key);

  static std::wstring T2S(const std::wstring& value) { return value; }
  static std::wstring T2S(const wchar_t* value) { return value ? std::wstring(value) : std::wstring(); }
  static std::wstring T2S(bool value) { return value ? L"1" : L"0"; }
  static std::wstring T2S(double value) {
    wchar_t text[32] = {};
    std::swprintf(text, 32, L"%.17g", value);
    return text;
  }
  template <typename T, typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>>
  static std::wstring T2S(const T& value) {
    return std::to_wstring(value);
  }

  static std::wstring S2T(std::wstring text, const std::wstring&) { return text; }
  static bool S2T(const std::wstring& text, bool default_value) {
    if (text == L"1" || text == L"true") return true;
    if (text == L"0" || text == L"false") return false;
    return default_value;
  }
  static double S2T(const std::wstring& text, double default_value) {
    if (text.empty()) return default_value;
    wchar_t* end = nullptr;
    errno = 0;
    const double value = std::wcstod(text.c_str(), &end);
    return (end == text.c_str() + text.size() && errno != ERANGE) ? value : default_value;
  }
  template <typename T, typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>>
  static T S2T(const std::wstring& text, T default_value) {
    if (text.empty()) return default_value;
    wchar_t* end = nullptr;
    errno = 0;
    if constexpr (std::is_signed_v<T>) {
      const long long value = std::wcstoll(text.c_str(), &end, 10);
      if (end != text.c_str() + text.size() || errno == ERANGE || value < std::numeric_limits<T>::min() ||
          value > std::numeric_limits<T>::max())
        return default_value;
      return static_cast<T>(value);
    } else {
      // wcstoull accepts a sign after leading blanks and negates.
      if (text.find(L'-') != std::wstring::npos) return default_value;
      const unsigned long long value = std::wcstoull(text.c_str(), &end, 10);
      if (end != text.c_str() + text.size() || errno == ERANGE || value > std::numeric_limits<T>::max())
        return default_value;
      return static_cast<T>(value);
    }
  }

  CppSQLite3DB db_;
  // Serialises the statements, each save's or delete's memory step included,
  // so that memory and the file take the changes in one order. Taken before
  // mutex_, never while holding it.
  boost::mutex statement_mutex_;
  // Guards memory alone and is held only for memory work: a read never waits
  // for the database.
  boost::mutex mutex_;
  std::unique_ptr<Cache> cache_;
};

/// The process-wide store on the default file.
T_COMMON_API SerializeManager& SinglePersistentInstance();
/// The process-wide named store: the file named by its first caller.
T_COMMON_API SerializeManager& PersistentInstance(const std::wstring& name);

/// Beyond the client's interface, for tools and tests that look at a store's
/// file: the path of `"<name>.db"` in the persistent folder ("Tessaquill.db" for
/// an empty name), with the folder created first when create_folder is true;
/// empty when the name is no plain file name or the application-data folder is
/// unknown.
T_COMMON_API std::wstring GetStoreFilePath(const std::wstring& name, bool create_folder);
}  // namespace common

#endif  // T_COMMON_STORE_H_
