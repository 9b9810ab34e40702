/// @file
/// Trading days and market phases, by the server clock and the shared holiday
/// calendar (pattern::CSingleton<common::LegalHoliday>, weekends included).
///
/// Times are seconds since 1970 UTC cut to 32 bits, 0 meaning now by the server
/// clock; phases are judged on the local hour and minute only. A moment on a
/// date before the server's today is MarketClosed, after it MarketNotOpen.
/// GetLastTradingDate looks back at most 14 days and returns its starting date
/// when all were holidays or lie outside the calendar (1970 to 3000).
/// TimeSpanToNextMarketStatus is never below 3 and is exactly 3 while trading
/// is on (opening call, morning, afternoon).
#ifndef T_COMMON_TRADING_H_
#define T_COMMON_TRADING_H_

#include "t_common/export.h"

namespace stock {

/// The market phase of a moment.
enum MarketStatus {
  MarketNotOpen = 1,    ///< before 09:00, holidays, later dates
  MarketPreOpen = 2,    ///< 09:00-09:14
  MarketOpening = 3,    ///< 09:15-09:29
  MarketMorning = 4,    ///< 09:30-11:30
  MarketNoonBreak = 5,  ///< 11:31-12:59
  MarketAfternoon = 6,  ///< 13:00-15:00
  MarketClosed = 7,     ///< from 15:01, earlier dates
};

/// The nearest trading day strictly before date (0: the server's today).
T_COMMON_API unsigned long GetLastTradingDate(unsigned long date);
/// The server's today when it is a trading day, else the one before it.
T_COMMON_API unsigned long GetLatestTradingDate();
/// The market phase at the time (0: now by the server clock).
T_COMMON_API MarketStatus CheckMarketStatus(unsigned long time);
/// Seconds until the phase can next change: to 09:00, 09:15 or 13:00, or to
/// 23:59:59 of the day after the close and on holidays.
T_COMMON_API long TimeSpanToNextMarketStatus(unsigned long time);

}  // namespace stock

#endif  // T_COMMON_TRADING_H_
