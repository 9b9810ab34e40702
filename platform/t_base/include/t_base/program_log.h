// The client's program log, kept by t_base.dll.
//
// WriteProgramLogNoMask appends one line to the log: local time with
// milliseconds, process id, thread id and the text that the wide printf-style
// format makes of its arguments (Microsoft's conversions: %s is a wide string,
// %d a 32-bit signed integer, %x a 32-bit value in hexadecimal). The log is
// "<roaming application data>\Brovanta\Tessaquill\log\program_YYYYMMDD.log",
// UTF-8, one file per local day. Safe from any thread and any process; lines
// never interleave. A failure to write is silent and never raises.
#ifndef T_BASE_PROGRAM_LOG_H_
#define T_BASE_PROGRAM_LOG_H_

#include <windows.h>
#include <wchar.h>

#if defined(T_BASE_BUILDING)
#define T_BASE_API __declspec(dllexport)
#else
#define T_BASE_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

T_BASE_API void __cdecl WriteProgramLogNoMask(const wchar_t* format, ...);

// The log's file for the local day `day`, or with a null day the pattern
// "...\log\program_*.log" that FindFirstFile matches against every day's file,
// into path (capacity in wide characters; MAX_PATH is enough). FALSE, with
// path empty, when the application-data folder is unknown or the text does
// not fit. The caller's last error is kept.
T_BASE_API BOOL __cdecl GetProgramLogFile(const SYSTEMTIME* day, wchar_t* path, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif  // T_BASE_PROGRAM_LOG_H_
