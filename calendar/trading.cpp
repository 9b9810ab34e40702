#include "t_common/trading.h"

#include "calendar/local_time.h"
#include "t_common/legal_holiday.h"
#include "t_common/server_clock.h"

namespace stock {
namespace {

constexpr int kSecondsPerDay = 86400;
constexpr int kMaxDaysBack = 14;
constexpr long kMinimumSpan = 3;

bool IsHoliday(unsigned long date) {
  return pattern::CSingleton<common::LegalHoliday>::GetInstance()->IsHoliday(date);
}

unsigned long TimeOrNow(unsigned long time) {
  return time != 0 ? time : static_cast<unsigned long>(common::GetCurrentServerTime());
}

MarketStatus PhaseOfDay(int hour, int minute) {
  if (hour < 9) return MarketNotOpen;
  if (hour == 9) return minute < 15 ? MarketPreOpen : minute < 30 ? MarketOpening : MarketMorning;
  if (hour == 10) return MarketMorning;
  if (hour == 11) return minute < 31 ? MarketMorning : MarketNoonBreak;
  if (hour == 12) return MarketNoonBreak;
  if (hour == 13 || hour == 14 || (hour == 15 && minute == 0)) return MarketAfternoon;
  return MarketClosed;
}

}  // namespace

unsigned long GetLastTradingDate(unsigned long date) {
  if (date == 0) date = common::TimeToDate(common::GetCurrentServerTime());
  // Stepping back from noon lands on the previous calendar day even across a
  // 23- or 25-hour day of a daylight-saving change; from midnight it would not.
  __int64 day = common::DateToTime(date, 12, 0, 0);
  // Before a date the calendar cannot hold, or before its first day, there is
  // no day to find: -1 and the date 0 are no time and no date.
  if (day == -1) return date;
  for (int step = 0; step < kMaxDaysBack; ++step) {
    day -= kSecondsPerDay;
    const unsigned long candidate = common::TimeToDate(day);
    if (candidate == 0) break;
    if (!IsHoliday(candidate)) return candidate;
  }
  return date;
}

unsigned long GetLatestTradingDate() {
  const unsigned long today = common::GetCurrentServerDate();
  return IsHoliday(today) ? GetLastTradingDate(today) : today;
}

MarketStatus CheckMarketStatus(unsigned long time) {
  time = TimeOrNow(time);
  const unsigned long date = common::TimeToDate(time);
  const unsigned long today = common::GetCurrentServerDate();
  if (date < today) return MarketClosed;
  if (date > today) return MarketNotOpen;
  if (IsHoliday(date)) return MarketNotOpen;
  std::tm fields;
  if (!common::BreakDownLocalTime(time, fields)) return MarketNotOpen;
  return PhaseOfDay(fields.tm_hour, fields.tm_min);
}

long TimeSpanToNextMarketStatus(unsigned long time) {
  time = TimeOrNow(time);
  const unsigned long date = common::TimeToDate(time);
  __int64 target = 0;
  if (IsHoliday(date)) {
    target = common::DateToTime(date, 23, 59, 59);
  } else {
    switch (CheckMarketStatus(time)) {
      case MarketNotOpen: target = common::DateToTime(date, 9, 0, 0); break;
      case MarketPreOpen: target = common::DateToTime(date, 9, 15, 0); break;
      case MarketNoonBreak: target = common::DateToTime(date, 13, 0, 0); break;
      case MarketClosed: target = common::DateToTime(date, 23, 59, 59); break;
      default: return kMinimumSpan;
    }
  }
  // On the low 32 bits, as the time argument itself.
  const long span = static_cast<long>(static_cast<unsigned long>(target) - time);
  return span < kMinimumSpan ? kMinimumSpan : span;
}

}  // namespace stock
