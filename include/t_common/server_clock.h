/// @file
/// The server clock and date arithmetic.
///
/// Until the first SyncServerTime the clock is the machine's UTC time; from each
/// SyncServerTime on it runs on the millisecond tick counter, in whole seconds:
/// it reads t for the first 999 ms after SyncServerTime(t). Readers take no lock
/// and always see the time and tick base of one synchronisation together.
///
/// Time values are seconds since 1970-01-01 00:00:00 UTC; date numbers are
/// YYYYMMDD. Calendar fields are local time (msvcrt's, i.e. TZ when set), broken
/// down per call. DateToTime and MoveTimeRelativeNow let the runtime decide
/// whether daylight saving applies (tm_isdst = -1), so midnight is the local
/// midnight on both sides of a transition; they normalise out-of-range fields
/// like _mktime64 (day 32, month 13, hour 24) and give -1 for what it cannot
/// represent (before 1970 UTC, after 3000). A time value that cannot be broken
/// down gives date 0 and an empty formatted text.
#ifndef T_COMMON_SERVER_CLOCK_H_
#define T_COMMON_SERVER_CLOCK_H_

#include <string>

#include "t_common/export.h"

namespace common {

/// Sets the clock to the server's time value.
T_COMMON_API void SyncServerTime(__int64 server_time);
/// The server clock's present time value.
T_COMMON_API __int64 GetCurrentServerTime();
/// The server clock's local date (YYYYMMDD).
T_COMMON_API unsigned long GetCurrentServerDate();

/// The local date (YYYYMMDD) of a time value; 0 when it cannot be broken down.
T_COMMON_API unsigned long TimeToDate(__int64 time);
/// The time value of a local date and time of day; -1 when not representable.
T_COMMON_API __int64 DateToTime(unsigned long date, int hour, int minute, int second);
/// Splits the number only: AnalyzeDate(123) gives 0, 1, 23.
T_COMMON_API void AnalyzeDate(unsigned long date, int& year, int& month, int& day);

/// The format with each conversion (% with an optional # and one character)
/// made by wcsftime and the other text copied as it is: empty when the text
/// needs more than 35 characters, the format holds a NUL or a conversion is
/// one wcsftime refuses.
T_COMMON_API std::wstring FormatTime(__int64 time, const std::wstring& format);

/// Local midnight of the server's today moved by each field separately and then
/// normalised: from 20170131, (0, 1, 0) is 3 March.
T_COMMON_API __int64 MoveTimeRelativeNow(int years, int months, int days);

/// Weeks run Sunday to Saturday. Equal numbers are the same week without any
/// conversion; otherwise a date the calendar cannot represent is in no week.
T_COMMON_API bool IsSameWeek(unsigned long date_a, unsigned long date_b);

}  // namespace common

#endif  // T_COMMON_SERVER_CLOCK_H_
