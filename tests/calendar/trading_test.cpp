#include "t_common/trading.h"

#include <gtest/gtest.h>

#include <vector>

#include "t_common/legal_holiday.h"
#include "t_common/server_clock.h"

namespace {

using common::DateToTime;
using namespace stock;

constexpr unsigned long kMonday = 20170306;

common::LegalHoliday& SharedCalendar() { return *pattern::CSingleton<common::LegalHoliday>::GetInstance(); }

unsigned long At(unsigned long date, int hour, int minute, int second) {
  return static_cast<unsigned long>(DateToTime(date, hour, minute, second));
}

// The server's today is Monday 2017-03-06 and 2017 has no holidays.
class Trading : public ::testing::Test {
 protected:
  void SetUp() override {
    SharedCalendar().SetHolidays(2017, {});
    common::SyncServerTime(DateToTime(kMonday, 10, 0, 0));
  }
  void TearDown() override { SharedCalendar().SetHolidays(2017, {}); }
};

TEST_F(Trading, LastTradingDateSkipsWeekendsAndHolidays) {
  EXPECT_EQ(GetLastTradingDate(kMonday), 20170303u);
  EXPECT_EQ(GetLastTradingDate(20170307), kMonday);
  EXPECT_EQ(GetLastTradingDate(0), 20170303u);
  EXPECT_EQ(GetLastTradingDate(20170305), 20170303u);
  EXPECT_EQ(GetLastTradingDate(20170102), 20161230u);  // across the year
  SharedCalendar().SetHolidays(2017, {20170303});
  EXPECT_EQ(GetLastTradingDate(kMonday), 20170302u);
}

TEST_F(Trading, FourteenHolidaysInARowGiveTheStartingDate) {
  std::vector<unsigned long> fortnight;
  for (unsigned long d = 20170220; d <= 20170228; ++d) fortnight.push_back(d);
  for (unsigned long d = 20170301; d <= 20170305; ++d) fortnight.push_back(d);
  SharedCalendar().SetHolidays(2017, fortnight);
  EXPECT_EQ(GetLastTradingDate(kMonday), kMonday);
  EXPECT_EQ(GetLastTradingDate(0), kMonday);
  EXPECT_EQ(GetLastTradingDate(20170307), kMonday);
  // Thirteen of them leave the Friday before them, fourteen steps back.
  fortnight.erase(fortnight.begin());
  SharedCalendar().SetHolidays(2017, fortnight);
  EXPECT_EQ(GetLastTradingDate(kMonday), 20170220u);
}

TEST_F(Trading, LatestTradingDateIsTodayOrTheOneBefore) {
  EXPECT_EQ(GetLatestTradingDate(), kMonday);
  common::SyncServerTime(DateToTime(20170305, 10, 0, 0));
  EXPECT_EQ(GetLatestTradingDate(), 20170303u);
  common::SyncServerTime(DateToTime(kMonday, 10, 0, 0));
  SharedCalendar().SetHolidays(2017, {kMonday});
  EXPECT_EQ(GetLatestTradingDate(), 20170303u);
}

// Every second from 08:59:59 to 15:01:00 against the phase table.
TEST_F(Trading, EverySecondOfTheTradingDayFollowsTheTable) {
  struct Phase {
    int from_second_of_day;
    MarketStatus status;
  };
  const Phase kTable[] = {{0, MarketNotOpen},
                          {9 * 3600, MarketPreOpen},
                          {9 * 3600 + 15 * 60, MarketOpening},
                          {9 * 3600 + 30 * 60, MarketMorning},
                          {11 * 3600 + 31 * 60, MarketNoonBreak},
                          {13 * 3600, MarketAfternoon},
                          {15 * 3600 + 60, MarketClosed}};
  const unsigned long midnight = At(kMonday, 0, 0, 0);
  int mismatches = 0;
  for (int second = 8 * 3600 + 59 * 60 + 59; second <= 15 * 3600 + 60; ++second) {
    MarketStatus expected = MarketNotOpen;
    for (const Phase& phase : kTable)
      if (second >= phase.from_second_of_day) expected = phase.status;
    const MarketStatus actual = CheckMarketStatus(midnight + second);
    if (actual != expected && ++mismatches <= 5)
      ADD_FAILURE() << "second " << second << ": " << actual << " instead of " << expected;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_F(Trading, OtherDaysAreClosedOrNotOpen) {
  EXPECT_EQ(CheckMarketStatus(At(kMonday, 0, 0, 0)), MarketNotOpen);
  EXPECT_EQ(CheckMarketStatus(At(kMonday, 23, 59, 59)), MarketClosed);
  EXPECT_EQ(CheckMarketStatus(At(20170305, 10, 0, 0)), MarketClosed);
  EXPECT_EQ(CheckMarketStatus(At(20170307, 10, 0, 0)), MarketNotOpen);
  SharedCalendar().SetHolidays(2017, {kMonday});
  EXPECT_EQ(CheckMarketStatus(At(kMonday, 10, 0, 0)), MarketNotOpen);
  common::SyncServerTime(DateToTime(20170305, 10, 0, 0));  // a Sunday
  EXPECT_EQ(CheckMarketStatus(At(20170305, 10, 0, 0)), MarketNotOpen);
}

TEST_F(Trading, ZeroMeansNowByTheServerClock) {
  EXPECT_EQ(CheckMarketStatus(0), MarketMorning);
  EXPECT_EQ(TimeSpanToNextMarketStatus(0), 3);
  common::SyncServerTime(DateToTime(kMonday, 12, 0, 0));
  EXPECT_EQ(CheckMarketStatus(0), MarketNoonBreak);
  const long span = TimeSpanToNextMarketStatus(0);
  EXPECT_LE(span, 3600);
  EXPECT_GE(span, 3500);  // the clock runs on meanwhile
}

TEST_F(Trading, SpansOfTheExamples) {
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 8, 0, 0)), 3600);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 9, 14, 59)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 11, 31, 0)), 5340);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 15, 1, 0)), 32339);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 10, 0, 0)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(20170307, 10, 0, 0)), 3);
  SharedCalendar().SetHolidays(2017, {kMonday});
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 10, 0, 0)), 50399);
}

TEST_F(Trading, SpansAtEveryBoundary) {
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 0, 0, 0)), 9 * 3600);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 8, 59, 56)), 4);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 8, 59, 57)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 8, 59, 59)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 9, 0, 0)), 900);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 9, 15, 0)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 9, 30, 0)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 11, 30, 59)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 12, 59, 59)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 13, 0, 0)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 15, 0, 59)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 23, 59, 57)), 3);
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 23, 59, 59)), 3);
  // Yesterday is closed: the span runs to yesterday's 23:59:59.
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(20170303, 23, 0, 0)), 3599);
  // A weekend day waits for its own end.
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(20170305, 0, 0, 0)), 86399);
}

}  // namespace
