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

BOOL __cdecl GetProgramLogFile(const SYSTEMTIME* day, wchar_t* path, size_t capacity) {
  DWORD last_error = GetLastError();
  wchar_t appdata[MAX_PATH] = {0};
  int length = -1;
  if (path && SHGetFolderPathW(NULL, CSIDL_APPDATA, NULL, SHGFP_TYPE_CURRENT, appdata) == S_OK) {
    length = day ? _snwprintf(path, capacity, L"%s\\" TQ_DATA_FOLDER L"\\log\\program_%04u%02u%02u.log", appdata,
                              day->wYear, day->wMonth, day->wDay)
                 : _snwprintf(path, capacity, L"%s\\" TQ_DATA_FOLDER L"\\log\\program_*.log", appdata);
  }
  // A text that fills the buffer exactly gets no NUL.
  BOOL fits = length >= 0 && (size_t)length < capacity;
  if (path && capacity > 0 && !fits) path[0] = L'\0';
  SetLastError(last_error);
  return fits;
}

static HANDLE OpenLogForAppend(const wchar_t* file) {
  HANDLE h = CreateFileW(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
    wchar_t folder[MAX_PATH];
    wcscpy(folder, file);
    *wcsrchr(folder, L'\\') = L'\0';
    SHCreateDirectoryExW(NULL, folder, NULL);
    h = CreateFileW(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  }
  return h;
}

static void AppendLine(const SYSTEMTIME* now, const char* utf8, int length) {
  wchar_t file[MAX_PATH];
  if (!GetProgramLogFile(now, file, MAX_PATH)) return;

  WIN_SCOPED_HANDLE mutex = CreateMutexW(NULL, FALSE, kLogMutexName);
  DWORD wait = mutex ? WaitForSingleObject(mutex, kMutexWaitMs) : WAIT_FAILED;
  BOOL owned = (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED);
  {
    WIN_SCOPED_HANDLE log = OpenLogForAppend(file);
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
