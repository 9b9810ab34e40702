#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "t_common/server_clock.h"

namespace {

using common::DateToTime;
using common::FormatTime;
using common::IsSameWeek;
using common::MoveTimeRelativeNow;
using common::TimeToDate;

void SetServerDate(unsigned long date) { common::SyncServerTime(DateToTime(date, 10, 0, 0)); }

std::wstring Local(__int64 time) { return FormatTime(time, L"%Y-%m-%d %H:%M:%S"); }

std::vector<unsigned long> DatesOf2017() {
  const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::vector<unsigned long> dates;
  for (int month = 1; month <= 12; ++month)
    for (int day = 1; day <= kDaysInMonth[month - 1]; ++day) dates.push_back(20170000 + month * 100 + day);
  return dates;
}

// The days of 2017 whose local length is not 24 hours, with their length.
std::vector<std::pair<unsigned long, __int64>> UnevenDaysOf2017() {
  std::vector<std::pair<unsigned long, __int64>> days;
  for (const unsigned long date : DatesOf2017()) {
    const __int64 length = DateToTime(date, 24, 0, 0) - DateToTime(date, 0, 0, 0);
    if (length != 86400) days.emplace_back(date, length);
  }
  return days;
}

TEST(DateConversion, RoundTripsAndDayLength) {
  EXPECT_EQ(TimeToDate(DateToTime(20170304, 0, 0, 0)), 20170304u);
  EXPECT_EQ(DateToTime(20170304, 23, 59, 59) - DateToTime(20170304, 0, 0, 0), 86399);
  EXPECT_EQ(Local(DateToTime(20170304, 9, 30, 5)), L"2017-03-04 09:30:05");
  EXPECT_EQ(TimeToDate(DateToTime(20000229, 12, 0, 0)), 20000229u);
}

TEST(DateConversion, OutOfRangeFieldsAreNormalised) {
  EXPECT_EQ(DateToTime(20170132, 0, 0, 0), DateToTime(20170201, 0, 0, 0));
  EXPECT_EQ(DateToTime(20171301, 0, 0, 0), DateToTime(20180101, 0, 0, 0));
  EXPECT_EQ(DateToTime(20170304, 24, 0, 0), DateToTime(20170305, 0, 0, 0));
  EXPECT_EQ(DateToTime(20170301, 0, 0, 0), DateToTime(20170229, 0, 0, 0));
  EXPECT_EQ(DateToTime(20170304, 0, -1, 0), DateToTime(20170303, 23, 59, 0));
  EXPECT_EQ(DateToTime(20170304, 0, 0, 90), DateToTime(20170304, 0, 1, 30));
  EXPECT_EQ(TimeToDate(DateToTime(20170100, 0, 0, 0)), 20161231u);
}

TEST(DateConversion, UnrepresentableDatesGiveMinusOne) {
  EXPECT_EQ(DateToTime(0, 0, 0, 0), -1);
  EXPECT_EQ(DateToTime(19691231, 0, 0, 0), -1);
  EXPECT_EQ(DateToTime(30010101, 0, 0, 0), -1);
  EXPECT_EQ(DateToTime(0xFFFFFFFFul, 0, 0, 0), -1);
  EXPECT_EQ(TimeToDate(-1), 0u);
  EXPECT_EQ(FormatTime(-1, L"%Y"), L"");
}

TEST(AnalyzeDate, SplitsTheNumberOnly) {
  int year = -1, month = -1, day = -1;
  common::AnalyzeDate(20170304, year, month, day);
  EXPECT_EQ(year, 2017);
  EXPECT_EQ(month, 3);
  EXPECT_EQ(day, 4);
  common::AnalyzeDate(123, year, month, day);
  EXPECT_EQ(year, 0);
  EXPECT_EQ(month, 1);
  EXPECT_EQ(day, 23);
  common::AnalyzeDate(20171399, year, month, day);
  EXPECT_EQ(month, 13);
  EXPECT_EQ(day, 99);
}

TEST(FormatTime, FitsThirtyFiveCharactersOrGivesEmpty) {
  const __int64 t = DateToTime(20170304, 8, 5, 9);
  EXPECT_EQ(FormatTime(t, L""), L"");
  EXPECT_EQ(FormatTime(t, L"%Y%m%d"), L"20170304");
  EXPECT_EQ(FormatTime(t, L"%H:%M:%S literal"), L"08:05:09 literal");
  const std::wstring fits(35, L'x');
  EXPECT_EQ(FormatTime(t, fits), fits);
  EXPECT_EQ(FormatTime(t, fits + L"x"), L"");
  EXPECT_EQ(FormatTime(t, L"%Y%Y%Y%Y%Y%Y%Y%Y"), L"20172017201720172017201720172017");
  EXPECT_EQ(FormatTime(t, L"%Y%Y%Y%Y%Y%Y%Y%Y%Y"), L"");  // 36 characters
  EXPECT_EQ(FormatTime(t, std::wstring(1000, L'y')), L"");
}

TEST(FormatTime, MalformedFormatGivesEmptyWithoutCrashing) {
  const __int64 t = DateToTime(20170304, 8, 5, 9);
  EXPECT_EQ(FormatTime(t, L"%Q"), L"");
  EXPECT_EQ(FormatTime(t, L"abc %"), L"");
}

TEST(MoveTimeRelativeNow, NormalisesEachFieldFromTheServerDate) {
  SetServerDate(20170131);
  EXPECT_EQ(MoveTimeRelativeNow(0, 1, 0), DateToTime(20170303, 0, 0, 0));
  EXPECT_EQ(MoveTimeRelativeNow(0, 0, 1), DateToTime(20170201, 0, 0, 0));
  EXPECT_EQ(MoveTimeRelativeNow(0, -1, 0), DateToTime(20161231, 0, 0, 0));
  SetServerDate(20170301);
  EXPECT_EQ(MoveTimeRelativeNow(0, 0, -1), DateToTime(20170228, 0, 0, 0));
  EXPECT_EQ(MoveTimeRelativeNow(0, 0, -5), DateToTime(20170224, 0, 0, 0));
  EXPECT_EQ(MoveTimeRelativeNow(0, 0, 0), DateToTime(20170301, 0, 0, 0));
  EXPECT_EQ(Local(MoveTimeRelativeNow(0, 0, 0)), L"2017-03-01 00:00:00");
}

TEST(MoveTimeRelativeNow, CrossesYears) {
  SetServerDate(20171231);
  EXPECT_EQ(MoveTimeRelativeNow(0, 0, 1), DateToTime(20180101, 0, 0, 0));
  EXPECT_EQ(MoveTimeRelativeNow(0, 12, 0), DateToTime(20181231, 0, 0, 0));
  EXPECT_EQ(MoveTimeRelativeNow(0, 0, -365), DateToTime(20161231, 0, 0, 0));
  SetServerDate(20160229);
  EXPECT_EQ(MoveTimeRelativeNow(1, 0, 0), DateToTime(20170301, 0, 0, 0));
  EXPECT_EQ(MoveTimeRelativeNow(4, 0, 0), DateToTime(20200229, 0, 0, 0));
  SetServerDate(20170115);
  EXPECT_EQ(MoveTimeRelativeNow(0, -2, 0), DateToTime(20161115, 0, 0, 0));
  EXPECT_EQ(MoveTimeRelativeNow(0, 0, -15), DateToTime(20161231, 0, 0, 0));
}

TEST(MoveTimeRelativeNow, UnrepresentableResultGivesMinusOne) {
  SetServerDate(20170115);
  EXPECT_EQ(MoveTimeRelativeNow(-100, 0, 0), -1);
  EXPECT_EQ(MoveTimeRelativeNow(INT_MAX, 0, 0), -1);
  EXPECT_EQ(MoveTimeRelativeNow(0, INT_MIN, INT_MIN), -1);
}

TEST(IsSameWeek, WeeksRunSundayToSaturday) {
  EXPECT_TRUE(IsSameWeek(20170305, 20170311));
  EXPECT_TRUE(IsSameWeek(20170311, 20170305));
  EXPECT_FALSE(IsSameWeek(20170304, 20170305));
  EXPECT_FALSE(IsSameWeek(20161231, 20170101));
  EXPECT_FALSE(IsSameWeek(20170305, 20170312));
  EXPECT_TRUE(IsSameWeek(20170229, 20170301));  // the same normalised day
}

TEST(IsSameWeek, EqualNumbersAreTheSameWeekEvenWhenNoDate) {
  EXPECT_TRUE(IsSameWeek(0, 0));
  EXPECT_TRUE(IsSameWeek(99999999, 99999999));
  EXPECT_FALSE(IsSameWeek(0, 19700101));
  EXPECT_FALSE(IsSameWeek(30010101, 30010102));
}

// The United States' 2017 changes; on every other zone these are plain days.
TEST(DaylightSaving, MidnightIsLocalMidnightEveryDayOfTheYear) {
  for (const unsigned long date : DatesOf2017()) {
    const __int64 midnight = DateToTime(date, 0, 0, 0);
    ASSERT_EQ(FormatTime(midnight, L"%H:%M:%S"), L"00:00:00") << date;
    ASSERT_EQ(TimeToDate(midnight), date);
    ASSERT_EQ(TimeToDate(DateToTime(date, 23, 59, 59)), date);
  }
}

TEST(DaylightSaving, WeeksAroundTheChangesStaySundayToSaturday) {
  EXPECT_TRUE(IsSameWeek(20170312, 20170313));
  EXPECT_TRUE(IsSameWeek(20170312, 20170318));
  EXPECT_TRUE(IsSameWeek(20170313, 20170318));
  EXPECT_FALSE(IsSameWeek(20170311, 20170312));
  EXPECT_TRUE(IsSameWeek(20170305, 20170311));
  EXPECT_TRUE(IsSameWeek(20171105, 20171106));
  EXPECT_TRUE(IsSameWeek(20171106, 20171111));
  EXPECT_FALSE(IsSameWeek(20171104, 20171105));
  EXPECT_FALSE(IsSameWeek(20171111, 20171112));
}

TEST(DaylightSaving, MovingAcrossTheChangesLandsOnMidnight) {
  SetServerDate(20170311);
  EXPECT_EQ(Local(MoveTimeRelativeNow(0, 0, 1)), L"2017-03-12 00:00:00");
  EXPECT_EQ(Local(MoveTimeRelativeNow(0, 0, 2)), L"2017-03-13 00:00:00");
  SetServerDate(20171106);
  EXPECT_EQ(Local(MoveTimeRelativeNow(0, 0, -1)), L"2017-11-05 00:00:00");
  EXPECT_EQ(Local(MoveTimeRelativeNow(0, 0, -2)), L"2017-11-04 00:00:00");
  EXPECT_EQ(Local(DateToTime(20171105, 23, 59, 59)), L"2017-11-05 23:59:59");
}

// Each ctest run names its zone; a run in another zone checks nothing here.
TEST(TimeZone, TheRunIsInTheZoneItNames) {
  const char* tz = std::getenv("TZ");
  const std::string zone = tz ? tz : "";
  const auto uneven = UnevenDaysOf2017();
  if (zone == "CST-8") {
    EXPECT_EQ(DateToTime(20170304, 0, 0, 0), 1488556800);  // 2017-03-03 16:00 UTC
    EXPECT_EQ(DateToTime(19700101, 0, 0, 0), -1);          // before the epoch in UTC
    EXPECT_TRUE(uneven.empty());
  } else if (zone == "UTC0") {
    EXPECT_EQ(DateToTime(20170304, 0, 0, 0), 1488585600);
    EXPECT_EQ(DateToTime(19700101, 0, 0, 0), 0);
    EXPECT_TRUE(uneven.empty());
  } else if (zone == "EST5EDT") {
    EXPECT_EQ(DateToTime(20170304, 0, 0, 0), 1488603600);  // 05:00 UTC
    EXPECT_EQ(DateToTime(20170704, 0, 0, 0), 1499140800);  // 04:00 UTC in summer time
    ASSERT_EQ(uneven.size(), 2u);
    EXPECT_EQ(uneven[0].first, 20170312u);
    EXPECT_EQ(uneven[0].second, 23 * 3600);
    EXPECT_EQ(uneven[1].first, 20171105u);
    EXPECT_EQ(uneven[1].second, 25 * 3600);
  } else {
    GTEST_SKIP() << "TZ=" << zone << " is none of the zones the test runs name";
  }
}

}  // namespace
