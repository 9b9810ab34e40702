#include <wchar.h>

#include <climits>

#include "calendar/local_time.h"
#include "t_common/server_clock.h"

namespace common {
namespace {

// wcsftime's buffer: 35 characters and the terminator.
constexpr size_t kFormatCapacity = 36;

// The date's fields at 00:00:00, not yet normalised.
std::tm MidnightFields(unsigned long date) {
  std::tm fields = {};
  fields.tm_year = static_cast<int>(date / 10000) - 1900;
  fields.tm_mon = static_cast<int>(date % 10000 / 100) - 1;
  fields.tm_mday = static_cast<int>(date % 100);
  return fields;
}

// Local midnight of the Sunday that starts the date's week; false when the
// calendar cannot represent it. Counting back whole days of 86400 seconds would
// miss that midnight by an hour across a daylight-saving change.
bool WeekStart(unsigned long date, __int64& start) {
  std::tm fields = MidnightFields(date);
  if (MakeLocalTime(fields) == -1) return false;
  fields.tm_mday -= fields.tm_wday;
  fields.tm_hour = fields.tm_min = fields.tm_sec = 0;
  start = MakeLocalTime(fields);
  return start != -1;
}

// Year, month or day plus an offset, or false when the sum leaves int.
bool AddField(int value, int offset, int& sum) {
  const long long total = static_cast<long long>(value) + offset;
  if (total < INT_MIN || total > INT_MAX) return false;
  sum = static_cast<int>(total);
  return true;
}

}  // namespace

unsigned long TimeToDate(__int64 time) {
  std::tm fields;
  if (!BreakDownLocalTime(time, fields)) return 0;
  return (static_cast<unsigned long>(fields.tm_year + 1900) * 100 + fields.tm_mon + 1) * 100 + fields.tm_mday;
}

__int64 DateToTime(unsigned long date, int hour, int minute, int second) {
  std::tm fields = MidnightFields(date);
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  return MakeLocalTime(fields);
}

void AnalyzeDate(unsigned long date, int& year, int& month, int& day) {
  year = static_cast<int>(date / 10000);
  month = static_cast<int>(date % 10000 / 100);
  day = static_cast<int>(date % 100);
}

std::wstring FormatTime(__int64 time, const std::wstring& format) {
  std::tm fields;
  if (!BreakDownLocalTime(time, fields)) return std::wstring();
  wchar_t buffer[kFormatCapacity] = {};
  const size_t written = wcsftime(buffer, kFormatCapacity, format.c_str(), &fields);
  // Some runtimes report a full buffer without a terminator instead of 0.
  if (written == 0 || written >= kFormatCapacity) return std::wstring();
  return std::wstring(buffer);
}

__int64 MoveTimeRelativeNow(int years, int months, int days) {
  int year = 0, month = 0, day = 0;
  AnalyzeDate(GetCurrentServerDate(), year, month, day);
  std::tm fields = {};
  if (!AddField(year - 1900, years, fields.tm_year) || !AddField(month - 1, months, fields.tm_mon) ||
      !AddField(day, days, fields.tm_mday))
    return -1;
  return MakeLocalTime(fields);
}

bool IsSameWeek(unsigned long date_a, unsigned long date_b) {
  if (date_a == date_b) return true;
  __int64 start_a = 0, start_b = 0;
  return WeekStart(date_a, start_a) && WeekStart(date_b, start_b) && start_a == start_b;
}

}  // namespace common
