// Local calendar fields of a time value and back, by msvcrt's rules (TZ when set).
#ifndef CALENDAR_LOCAL_TIME_H_
#define CALENDAR_LOCAL_TIME_H_

#include <ctime>

namespace common {

// Breaks the time down into the caller's record; false when it cannot.
bool BreakDownLocalTime(__int64 time, std::tm& fields);

// _mktime64 with daylight saving left to the runtime (tm_isdst = -1): forcing
// 0 would put summer midnights an hour late, forcing 1 winter ones an hour
// early. Normalises the record; -1 when the time cannot be represented.
__int64 MakeLocalTime(std::tm& fields);

}  // namespace common

#endif  // CALENDAR_LOCAL_TIME_H_
