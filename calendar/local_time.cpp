#include "calendar/local_time.h"

#include <time.h>

namespace common {
namespace {

// Years the runtime's conversion is asked about: its range (1970 to 3000 UTC)
// with a day to spare on each side for the local offset.
constexpr long long kFirstYear = 1969;
constexpr long long kLastYear = 3001;

long long FloorDiv(long long value, long long divisor) {
  return value / divisor - (value % divisor < 0 ? 1 : 0);
}

// Days since 1970-01-01 of a proleptic Gregorian date, month 1 to 12, any day
// of the month (H. Hinnant's days_from_civil).
long long DaysFromCivil(long long year, long long month, long long day) {
  year -= month <= 2;
  const long long era = FloorDiv(year, 400);
  const long long year_of_era = year - era * 400;
  const long long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// The date of a day count from 1970-01-01 (civil_from_days).
void CivilFromDays(long long days, long long& year, long long& month, long long& day) {
  days += 719468;
  const long long era = FloorDiv(days, 146097);
  const long long day_of_era = days - era * 146097;
  const long long year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long long shifted_month = (5 * day_of_year + 2) / 153;
  day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  year = year_of_era + era * 400 + (month <= 2);
}

}  // namespace

bool BreakDownLocalTime(__int64 time, std::tm& fields) {
  const __time64_t value = time;
  return _localtime64_s(&fields, &value) == 0;
}

// The runtime adds the fields up in int and wraps, so fields out of range are
// carried here in 64 bits, and only a date it can answer for reaches it.
// Carrying wall-clock fields first gives what the runtime's own normalising
// gives, daylight saving included. Fields in range, nearly every call, go
// straight to the runtime.
__int64 MakeLocalTime(std::tm& fields) {
  fields.tm_isdst = -1;
  const bool in_range = fields.tm_sec >= 0 && fields.tm_sec < 60 && fields.tm_min >= 0 && fields.tm_min < 60 &&
                        fields.tm_hour >= 0 && fields.tm_hour < 24 && fields.tm_mon >= 0 && fields.tm_mon < 12 &&
                        fields.tm_mday >= 1 && fields.tm_mday <= 31 && fields.tm_year >= kFirstYear - 1900 &&
                        fields.tm_year <= kLastYear - 1900;
  if (in_range) return _mktime64(&fields);
  const long long minutes = static_cast<long long>(fields.tm_min) + FloorDiv(fields.tm_sec, 60);
  const long long hours = static_cast<long long>(fields.tm_hour) + FloorDiv(minutes, 60);
  const long long months = static_cast<long long>(fields.tm_mon);
  long long year = 1900LL + fields.tm_year + FloorDiv(months, 12), month = 0, day = 0;
  const long long days =
      DaysFromCivil(year, months - FloorDiv(months, 12) * 12 + 1, 1) + fields.tm_mday - 1 + FloorDiv(hours, 24);
  CivilFromDays(days, year, month, day);
  if (year < kFirstYear || year > kLastYear) return -1;
  fields.tm_year = static_cast<int>(year - 1900);
  fields.tm_mon = static_cast<int>(month - 1);
  fields.tm_mday = static_cast<int>(day);
  fields.tm_hour = static_cast<int>(hours - FloorDiv(hours, 24) * 24);
  fields.tm_min = static_cast<int>(minutes - FloorDiv(minutes, 60) * 60);
  fields.tm_sec = static_cast<int>(fields.tm_sec - FloorDiv(fields.tm_sec, 60) * 60);
  return _mktime64(&fields);
}

}  // namespace common
