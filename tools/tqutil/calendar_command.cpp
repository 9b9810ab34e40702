// tqutil market and the market lines of tqutil status.
#include <stdio.h>

#include <string>

#include "command.h"
#include "t_common/server_clock.h"
#include "t_common/trading.h"

namespace {

using namespace tqutil;

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

void PrintPhaseNow() {
  const stock::MarketStatus status = stock::CheckMarketStatus(0);
  PrintFact(L"market phase", std::to_wstring(status) + L" (" + PhaseName(status) + L")");
  PrintFact(L"seconds to next change", std::to_wstring(stock::TimeSpanToNextMarketStatus(0)));
}

// "YYYY-MM-DD HH:MM:SS" as local time; false unless it is a real moment that
// the 32-bit time argument of the market functions can hold.
bool ParseLocalMoment(const std::wstring& text, __int64& time) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int consumed = 0;
  if (text.size() != 19 ||
      swscanf(text.c_str(), L"%4u-%2u-%2u %2u:%2u:%2u%n", &year, &month, &day, &hour, &minute, &second,
              &consumed) != 6 ||
      consumed != 19 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
    return false;
  const unsigned long date = (year * 100 + month) * 100 + day;
  time = common::DateToTime(date, static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second));
  // Normalisation would turn 31 April into 1 May: such a date is refused.
  return time > 0 && time <= 0xFFFFFFFFLL && common::TimeToDate(time) == date;
}

int RunMarket(const Args& args);

const Command kMarket = {L"market", L"market [--at \"YYYY-MM-DD HH:MM:SS\"]",
                         L"the market phase, the seconds to its next change and the trading days, now or at a local "
                         L"moment",
                         &RunMarket};

int RunMarket(const Args& args) {
  if (args.size() == 2 && args[0] == L"--at") {
    __int64 moment = 0;
    if (!ParseLocalMoment(args[1], moment)) return UsageError(kMarket);
    // The given moment becomes this process's server time, so that "today"
    // and every answer below are judged at it.
    common::SyncServerTime(moment);
  } else if (!args.empty()) {
    return UsageError(kMarket);
  }
  PrintFact(L"server time", common::FormatTime(common::GetCurrentServerTime(), L"%Y-%m-%d %H:%M:%S"));
  PrintPhaseNow();
  PrintFact(L"latest trading day", std::to_wstring(stock::GetLatestTradingDate()));
  PrintFact(L"last trading day before today", std::to_wstring(stock::GetLastTradingDate(0)));
  return kExitOk;
}

const bool registered = RegisterCommand(kMarket) && RegisterStatusSection({30, &PrintPhaseNow});

}  // namespace
