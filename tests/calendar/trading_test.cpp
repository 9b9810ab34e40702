#include "t_common/trading.h"

#include <gtest/gtest.h>

#include <utility>
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

TEST_F(Trading, LastAndLatestTradingDatesSkipWeekendsAndHolidays) {
  // Before a date the calendar cannot hold, or its first day, no trading day can be found.
  const std::pair<unsigned long, unsigned long> kLast[] = {
      {kMonday, 20170303},  {20170307, kMonday},   {0, 20170303},          {20170305, 20170303},
      {20170102, 20161230}, {19700101, 19700101}, {30010101, 30010101}, {0xFFFFFFFF, 0xFFFFFFFF}};
  for (const auto& [date, last] : kLast) EXPECT_EQ(GetLastTradingDate(date), last) << date;
  EXPECT_EQ(GetLatestTradingDate(), kMonday);
  SharedCalendar().SetHolidays(2017, {20170303, kMonday});
  EXPECT_EQ(GetLastTradingDate(kMonday), 20170302u);
  EXPECT_EQ(GetLatestTradingDate(), 20170302u);
  common::SyncServerTime(DateToTime(20170305, 10, 0, 0));
  SharedCalendar().SetHolidays(2017, {});
  EXPECT_EQ(GetLatestTradingDate(), 20170303u);
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

// Every second of the server's today against the phase table.
TEST_F(Trading, EverySecondOfTheTradingDayFollowsTheTable) {
  const std::pair<int, MarketStatus> kTable[] = {
      {0, MarketNotOpen}, {9 * 3600, MarketPreOpen}, {9 * 3600 + 15 * 60, MarketOpening},
      {9 * 3600 + 30 * 60, MarketMorning}, {11 * 3600 + 31 * 60, MarketNoonBreak}, {13 * 3600, MarketAfternoon},
      {15 * 3600 + 60, MarketClosed}};
  const unsigned long midnight = At(kMonday, 0, 0, 0);
  int mismatches = 0;
  for (int second = 0; second < 24 * 3600; ++second) {
    MarketStatus expected = MarketNotOpen;
    for (const auto& [from_second_of_day, status] : kTable)
      if (second >= from_second_of_day) expected = status;
    const MarketStatus actual = CheckMarketStatus(midnight + second);
    if (actual != expected && ++mismatches <= 5)
      ADD_FAILURE() << "second " << second << ": " << actual << " instead of " << expected;
  }
  EXPECT_EQ(mismatches, 0);
}

// Zero means now by the server clock; a past day is closed, a future one or a holiday not open.
TEST_F(Trading, OtherDaysAreClosedOrNotOpenAndZeroIsNow) {
  EXPECT_EQ(CheckMarketStatus(0), MarketMorning);
  EXPECT_EQ(TimeSpanToNextMarketStatus(0), 3);
  EXPECT_EQ(CheckMarketStatus(At(20170305, 10, 0, 0)), MarketClosed);
  EXPECT_EQ(CheckMarketStatus(At(20170307, 10, 0, 0)), MarketNotOpen);
  common::SyncServerTime(DateToTime(kMonday, 12, 0, 0));
  EXPECT_EQ(CheckMarketStatus(0), MarketNoonBreak);
  const long span = TimeSpanToNextMarketStatus(0);
  EXPECT_LE(span, 3600);
  EXPECT_GE(span, 3500);  // the clock runs on meanwhile
  SharedCalendar().SetHolidays(2017, {kMonday});
  EXPECT_EQ(CheckMarketStatus(At(kMonday, 10, 0, 0)), MarketNotOpen);
  common::SyncServerTime(DateToTime(20170305, 10, 0, 0));  // a Sunday
  EXPECT_EQ(CheckMarketStatus(At(20170305, 10, 0, 0)), MarketNotOpen);
}

// Seconds to the next phase from the examples and from each side of every boundary.
TEST_F(Trading, SpansOfTheExamplesAndAtEveryBoundary) {
  const struct { unsigned long date; int hour, minute, second; long span; } kCases[] = {
      {kMonday, 8, 0, 0, 3600}, {kMonday, 9, 14, 59, 3}, {kMonday, 11, 31, 0, 5340}, {kMonday, 15, 1, 0, 32339},
      {kMonday, 10, 0, 0, 3}, {20170307, 10, 0, 0, 3}, {kMonday, 0, 0, 0, 9 * 3600}, {kMonday, 8, 59, 56, 4},
      {kMonday, 8, 59, 57, 3}, {kMonday, 8, 59, 59, 3}, {kMonday, 9, 0, 0, 900}, {kMonday, 9, 15, 0, 3},
      {kMonday, 9, 30, 0, 3}, {kMonday, 11, 30, 59, 3}, {kMonday, 12, 59, 59, 3}, {kMonday, 13, 0, 0, 3},
      {kMonday, 15, 0, 59, 3}, {kMonday, 23, 59, 57, 3}, {kMonday, 23, 59, 59, 3},
      // Yesterday is closed: the span runs to yesterday's 23:59:59; a weekend day waits for its end.
      {20170303, 23, 0, 0, 3599}, {20170305, 0, 0, 0, 86399}};
  for (const auto& c : kCases)
    EXPECT_EQ(TimeSpanToNextMarketStatus(At(c.date, c.hour, c.minute, c.second)), c.span)
        << c.date << " " << c.hour << ":" << c.minute << ":" << c.second;
  SharedCalendar().SetHolidays(2017, {kMonday});
  EXPECT_EQ(TimeSpanToNextMarketStatus(At(kMonday, 10, 0, 0)), 50399);
}

}  // namespace
