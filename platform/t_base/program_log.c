#include "t_base/program_log.h"

#include <windows.h>
#include <shlobj.h>
#include <stdarg.h>
#include <stdio.h>

#include "foundation/product_names.h"
#include "win/scoped_handle_c.h"

enum { kMaxLineChars = 8192, kMutexWaitMs = 5000 };

// Appends are serialised across processes by this mutex, so every line lands whole.
static const wchar_t kLogMutexName[] = TQ_MUTEX_PREFIX L"ProgramLog";

static BOOL BuildLogPath(const SYSTEMTIME* now, wchar_t* folder, wchar_t* file) {
  wchar_t appdata[MAX_PATH] = {0};
  if (SHGetFolderPathW(NULL, CSIDL_APPDATA, NULL, SHGFP_TYPE_CURRENT, appdata) != S_OK) return FALSE;
  if (_snwprintf(folder, MAX_PATH, L"%s\\" TQ_DATA_FOLDER L"\\log", appdata) < 0) return FALSE;
  folder[MAX_PATH - 1] = L'\0';
  if (_snwprintf(file, MAX_PATH, L"%s\\program_%04u%02u%02u.log", folder, now->wYear, now->wMonth,
                 now->wDay) < 0)
    return FALSE;
  file[MAX_PATH - 1] = L'\0';
  return TRUE;
}

static HANDLE OpenLogForAppend(const wchar_t* folder, const wchar_t* file) {
  HANDLE h = CreateFileW(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
    SHCreateDirectoryExW(NULL, folder, NULL);
    h = CreateFileW(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  }
  return h;
}

static void AppendLine(const SYSTEMTIME* now, const char* utf8, int length) {
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  if (!BuildLogPath(now, folder, file)) return;

  WIN_SCOPED_HANDLE mutex = CreateMutexW(NULL, FALSE, kLogMutexName);
  DWORD wait = mutex ? WaitForSingleObject(mutex, kMutexWaitMs) : WAIT_FAILED;
  BOOL owned = (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED);
  {
    WIN_SCOPED_HANDLE log = OpenLogForAppend(folder, file);
    if (log != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(log, utf8, (DWORD)length, &written, NULL);
    }
  }
  if (owned) ReleaseMutex(mutex);
}

void __cdecl WriteProgramLogNoMask(const wchar_t* format, ...) {
  if (!format) return;
  DWORD last_error = GetLastError();

  SYSTEMTIME now;
  GetLocalTime(&now);

  wchar_t* line = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, kMaxLineChars * sizeof(wchar_t));
  if (!line) goto restore;

  int prefix = _snwprintf(line, kMaxLineChars, L"%04u-%02u-%02u %02u:%02u:%02u.%03u %5lu %5lu ", now.wYear,
                          now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                          GetCurrentProcessId(), GetCurrentThreadId());
  if (prefix < 0) prefix = 0;

  va_list args;
  va_start(args, format);
  int body = _vsnwprintf(line + prefix, kMaxLineChars - prefix - 2, format, args);
  va_end(args);
  // A line longer than the buffer is cut, never dropped.
  if (body < 0) body = kMaxLineChars - prefix - 2;
  int length = prefix + body;
  line[length++] = L'\n';
  line[length] = L'\0';

  int bytes = WideCharToMultiByte(CP_UTF8, 0, line, length, NULL, 0, NULL, NULL);
  char* utf8 = bytes > 0 ? (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)bytes) : NULL;
  if (utf8) {
    WideCharToMultiByte(CP_UTF8, 0, line, length, utf8, bytes, NULL, NULL);
    AppendLine(&now, utf8, bytes);
    HeapFree(GetProcessHeap(), 0, utf8);
  }
  HeapFree(GetProcessHeap(), 0, line);

restore:
  // Callers log from error paths and may read the last error afterwards.
  SetLastError(last_error);
}
