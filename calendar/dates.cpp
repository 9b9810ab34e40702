#include <wchar.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "calendar/local_time.h"
#include "foundation/input_checks.h"
#include "t_common/server_clock.h"

namespace common {
namespace {

// 35 characters and wcsftime's terminator.
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

// The runtime's wcsftime passes literal text through its code page, which
// mangles every character outside it (under Wine, the Chinese of a format):
// only the conversions, a % with an optional # and one character, go to it.
std::wstring FormatTime(__int64 time, const std::wstring& format) {
  std::tm fields;
  if (HoldsNul(format) || !BreakDownLocalTime(time, fields)) return std::wstring();
  std::wstring text;
  for (size_t at = 0; at < format.size() && text.size() < kFormatCapacity;) {
    if (format[at] != L'%') {
      text += format[at++];
      continue;
    }
    const size_t length = std::min(format.size() - at, format.compare(at, 2, L"%#") == 0 ? size_t{3} : size_t{2});
    const std::wstring conversion = format.substr(at, length);
    at += length;
    wchar_t buffer[kFormatCapacity] = {};
    errno = 0;
    const size_t written = wcsftime(buffer, kFormatCapacity, conversion.c_str(), &fields);
    // 0 is also the answer of a conversion that gives no text; errno tells a
    // refused specifier (EINVAL) or one too long for the buffer (ERANGE).
    if (written == 0 && errno != 0) return std::wstring();
    text.append(buffer, std::min(written, kFormatCapacity));
  }
  return text.size() < kFormatCapacity ? text : std::wstring();
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
