// tqutil market, tqutil holidays and the market lines of tqutil status.
//
// The holiday lists live in the default store, in a table of the tool's own:
// one row per year, key "YYYY", value the dates as "YYYYMMDD,YYYYMMDD,...".
// Every command that consults the calendar loads them into the shared
// calendar first; without rows the calendar knows weekends only.
#include <stdio.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "command.h"
#include "commands.h"
#include "t_common/legal_holiday.h"
#include "t_common/server_clock.h"
#include "t_common/store.h"
#include "t_common/trading.h"

namespace {

using namespace tqutil;

const wchar_t kHolidayTable[] = L"tqutil_holidays";

const wchar_t* PhaseName(stock::MarketStatus status) {
  switch (status) {
    case stock::MarketNotOpen: return L"not open";
    case stock::MarketPreOpen: return L"pre-open";
    case stock::MarketOpening: return L"opening call";
    case stock::MarketMorning: return L"morning session";
    case stock::MarketNoonBreak: return L"noon break";
    case stock::MarketAfternoon: return L"afternoon session";
    case stock::MarketClosed: return L"closed";
  }
  return L"unknown";
}

// Only all-digit text of the exact length, so "2017x" or "+2017" never pass.
bool ParseDigits(const std::wstring& text, size_t length, unsigned long& value) {
  if (text.size() != length) return false;
  value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + (c - L'0');
  }
  return true;
}

// A real calendar date (no normalisation) that the library can convert.
bool IsRealDate(unsigned long date) {
  const __int64 noon = common::DateToTime(date, 12, 0, 0);
  return noon != -1 && common::TimeToDate(noon) == date;
}

bool ParseYear(const std::wstring& text, int& year) {
  unsigned long value = 0;
  if (!ParseDigits(text, 4, value) || !IsRealDate(value * 10000 + 701)) return false;
  year = static_cast<int>(value);
  return true;
}

bool ParseHoliday(const std::wstring& text, int year, unsigned long& date) {
  return ParseDigits(text, 8, date) && static_cast<int>(date / 10000) == year && IsRealDate(date);
}

// A stored row back into dates; false when any part is not a date of the year.
bool ParseStoredDates(const std::wstring& text, int year, std::vector<unsigned long>& dates) {
  dates.clear();
  if (text.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(L',', start);
    unsigned long date = 0;
    if (!ParseHoliday(text.substr(start, comma - start), year, date)) return false;
    dates.push_back(date);
    if (comma == std::wstring::npos) return true;
    start = comma + 1;
  }
}

std::wstring JoinDates(const std::vector<unsigned long>& dates, const wchar_t* separator) {
  std::wstring text;
  for (const unsigned long date : dates) {
    if (!text.empty()) text += separator;
    text += std::to_wstring(date);
  }
  return text;
}

void LoadStoredHolidays() {
  common::LegalHoliday* calendar = pattern::CSingleton<common::LegalHoliday>::GetInstance();
  for (const auto& [key, value] : common::SinglePersistentInstance().GetValues(kHolidayTable)) {
    int year = 0;
    std::vector<unsigned long> dates;
    if (ParseYear(key, year) && ParseStoredDates(value, year, dates)) calendar->SetHolidays(year, dates);
  }
}

void PrintPhaseNow() {
  const stock::MarketStatus status = stock::CheckMarketStatus(0);
  PrintFact(L"market phase", std::to_wstring(status) + L" (" + PhaseName(status) + L")");
  PrintFact(L"seconds to next change", std::to_wstring(stock::TimeSpanToNextMarketStatus(0)));
}

void PrintMarketStatus() {
  LoadStoredHolidays();
  PrintPhaseNow();
}

// "YYYY-MM-DD HH:MM:SS" as local time; false unless it is a real moment that
// the 32-bit time argument of the market functions can hold.
bool ParseLocalMoment(const std::wstring& text, __int64& time) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int consumed = 0;
  if (text.size() != 19 ||
      swscanf(text.c_str(), L"%4u-%2u-%2u %2u:%2u:%2u%n", &year, &month, &day, &hour, &minute, &second,
              &consumed) != 6 ||
      consumed != 19 || hour > 23 || minute > 59 || second > 59)
    return false;
  const unsigned long date = (year * 100 + month) * 100 + day;
  if (!IsRealDate(date)) return false;
  time = common::DateToTime(date, static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second));
  return time > 0 && time <= 0xFFFFFFFFLL;
}

int RunHolidays(const Args& args);

int RunMarket(const Args& args) {
  if (args.size() == 2 && args[0] == L"--at") {
    __int64 moment = 0;
    if (!ParseLocalMoment(args[1], moment)) return UsageError(kMarketCommand);
    // The given moment becomes this process's server time, so that "today"
    // and every answer below are judged at it.
    common::SyncServerTime(moment);
  } else if (!args.empty()) {
    return UsageError(kMarketCommand);
  }
  LoadStoredHolidays();
  PrintFact(L"server time", common::FormatTime(common::GetCurrentServerTime(), L"%Y-%m-%d %H:%M:%S"));
  PrintPhaseNow();
  PrintFact(L"latest trading day", std::to_wstring(stock::GetLatestTradingDate()));
  PrintFact(L"last trading day before today", std::to_wstring(stock::GetLastTradingDate(0)));
  return kExitOk;
}

int SetHolidays(const Args& args) {
  int year = 0;
  if (args.size() < 2 || !ParseYear(args[1], year)) return UsageError(kHolidaysCommand);
  std::vector<unsigned long> dates;
  for (size_t i = 2; i < args.size(); ++i) {
    unsigned long date = 0;
    if (!ParseHoliday(args[i], year, date))
      return Fail(L"\"" + args[i] + L"\" is no date of " + args[1] + L" (YYYYMMDD)", kExitUsage);
    dates.push_back(date);
  }
  std::sort(dates.begin(), dates.end());
  common::SinglePersistentInstance().SaveValue(kHolidayTable, args[1], JoinDates(dates, L","));
  PrintFact(args[1], dates.empty() ? L"(none)" : JoinDates(dates, L" "));
  return kExitOk;
}

void PrintStoredYear(const std::wstring& key, const std::wstring& value) {
  int year = 0;
  std::vector<unsigned long> dates;
  if (!ParseYear(key, year) || !ParseStoredDates(value, year, dates))
    PrintFact(key, L"(unreadable, ignored: \"" + value + L"\")");
  else
    PrintFact(key, dates.empty() ? L"(none)" : JoinDates(dates, L" "));
}

int ListHolidays(const Args& args) {
  int year = 0;
  if (args.size() > 2 || (args.size() == 2 && !ParseYear(args[1], year))) return UsageError(kHolidaysCommand);
  const std::map<std::wstring, std::wstring> rows = common::SinglePersistentInstance().GetValues(kHolidayTable);
  if (args.size() == 1) {
    for (const auto& [key, value] : rows) PrintStoredYear(key, value);
    return kExitOk;
  }
  const auto row = rows.find(args[1]);
  if (row == rows.end())
    PrintFact(args[1], L"(not set: weekends only)");
  else
    PrintStoredYear(row->first, row->second);
  return kExitOk;
}

int RunHolidays(const Args& args) {
  if (!args.empty() && args[0] == L"set") return SetHolidays(args);
  if (!args.empty() && args[0] == L"list") return ListHolidays(args);
  return UsageError(kHolidaysCommand);
}

}  // namespace

namespace tqutil {

extern const Command kMarketCommand = {L"market", L"market [--at \"YYYY-MM-DD HH:MM:SS\"]",
                         L"the market phase, the seconds to its next change and the trading days, now or at a local "
                         L"moment",
                         &RunMarket};
extern const Command kHolidaysCommand = {L"holidays", L"holidays set YEAR [YYYYMMDD...] | holidays list [YEAR]",
                           L"the holidays of a year besides weekends, kept in the default store", &RunHolidays};
extern const StatusSection kMarketStatus = &PrintMarketStatus;

}  // namespace tqutil
