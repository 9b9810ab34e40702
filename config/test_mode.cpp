#include "t_common/test_mode.h"

#include <windows.h>
#include <shlwapi.h>

#include <atomic>

#include "t_common/folders.h"

namespace common {
namespace {

std::atomic<bool> g_test_mode{false};
volatile LONG g_test_mode_decided = 0;

// The path of "ovktest" in the executable's folder; false when there is no
// folder or the name does not fit (the folder itself must not be taken for it).
bool TestFilePath(wchar_t (&path)[MAX_PATH]) {
  if (!GetAppDir(path, MAX_PATH)) return false;
  return ::PathAppendW(path, L"ovktest") != FALSE;
}

// The file as it is now, for the values; only when test mode is on.
bool CurrentTestFile(wchar_t (&path)[MAX_PATH]) {
  if (!IsTestMode()) return false;
  if (!TestFilePath(path)) return false;
  return ::PathFileExistsW(path) != FALSE;
}

}  // namespace

bool IsTestMode() {
  if (::InterlockedCompareExchange(&g_test_mode_decided, 1, 0) != 0) return g_test_mode.load();
  wchar_t path[MAX_PATH] = {};
  if (!TestFilePath(path)) return g_test_mode.load();
  g_test_mode.store(IsPathFileExisting(path));
  return g_test_mode.load();
}

bool GetTestValueBool(const wchar_t* key, bool default_value) {
  wchar_t file[MAX_PATH] = {};
  if (!key || !CurrentTestFile(file)) return default_value;
  return ::GetPrivateProfileIntW(L"test", key, default_value ? 1 : 0, file) != 0;
}

int GetTestValueInt(const wchar_t* key, int default_value) {
  wchar_t file[MAX_PATH] = {};
  if (!key || !CurrentTestFile(file)) return default_value;
  return static_cast<int>(::GetPrivateProfileIntW(L"test", key, default_value, file));
}

std::wstring GetTestValueString(const wchar_t* key, const wchar_t* default_value) {
  const wchar_t* fallback = default_value ? default_value : L"";
  wchar_t file[MAX_PATH] = {};
  // A null key would make the profile call list every key instead.
  if (!key || !CurrentTestFile(file)) return fallback;
  wchar_t value[MAX_PATH] = {};
  ::GetPrivateProfileStringW(L"test", key, fallback, value, MAX_PATH, file);
  return value;
}

}  // namespace common
