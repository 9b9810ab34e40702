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

TEST(DateConversion, RoundTripsNormalisesAndRejectsUnrepresentableDates) {
  EXPECT_EQ(TimeToDate(DateToTime(20000229, 12, 0, 0)), 20000229u);
  EXPECT_EQ(DateToTime(20170304, 23, 59, 59) - DateToTime(20170304, 0, 0, 0), 86399);
  EXPECT_EQ(Local(DateToTime(20170304, 9, 30, 5)), L"2017-03-04 09:30:05");
  // Date, hour, minute and second, then the same time with every field in range.
  const long kSame[][8] = {{20170132, 0, 0, 0, 20170201, 0, 0, 0},   {20171301, 0, 0, 0, 20180101, 0, 0, 0},
                           {20170304, 24, 0, 0, 20170305, 0, 0, 0},  {20170229, 0, 0, 0, 20170301, 0, 0, 0},
                           {20170304, 0, -1, 0, 20170303, 23, 59, 0}, {20170304, 0, 0, 90, 20170304, 0, 1, 30},
                           {19700101, 0, 0, INT_MAX, 20380119, 3, 14, 7},
                           {21000101, 0, 0, INT_MIN, 20311213, 20, 45, 52}};
  for (const auto& c : kSame)
    EXPECT_EQ(DateToTime(c[0], c[1], c[2], c[3]), DateToTime(c[4], c[5], c[6], c[7])) << c[0];
  EXPECT_EQ(TimeToDate(DateToTime(20170100, 0, 0, 0)), 20161231u);
  // Fields that no calendar holds, however they would add up in int.
  const long long kUnrepresentable[][4] = {
      {0, 0, 0, 0}, {19691231, 0, 0, 0}, {30010101, 0, 0, 0}, {0xFFFFFFFF, 0, 0, 0},
      {19700101, INT_MIN, INT_MIN, INT_MIN}, {19700101, INT_MAX, INT_MAX, INT_MAX}, {20170304, 0, 0, INT_MIN},
      {20170304, INT_MAX, 0, 0}, {20170304, INT_MIN, INT_MAX, 0}, {0xFFFFFFFF, INT_MIN, INT_MIN, INT_MIN},
      {20179999, INT_MAX, INT_MAX, INT_MAX}};
  for (const auto& c : kUnrepresentable) EXPECT_EQ(DateToTime(c[0], c[1], c[2], c[3]), -1) << c[0] << " " << c[1];
  for (const __int64 time : {-1LL, LLONG_MIN, LLONG_MAX}) {
    EXPECT_EQ(TimeToDate(time), 0u) << time;
    EXPECT_EQ(FormatTime(time, L"%Y"), L"") << time;
  }
}

TEST(FormatTime, FitsThirtyFiveCharactersOrGivesEmpty) {
  const __int64 t = DateToTime(20170304, 8, 5, 9);
  const std::wstring fits(35, L'x');
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"", L""}, {L"%Y%m%d", L"20170304"}, {L"%H:%M:%S literal", L"08:05:09 literal"}, {fits, fits},
      {fits + L"x", L""}, {L"%Y%Y%Y%Y%Y%Y%Y%Y", L"20172017201720172017201720172017"},
      {L"%Y%Y%Y%Y%Y%Y%Y%Y%Y", L""},  // 36 characters
      {std::wstring(1000, L'y'), L""}, {L"%Q", L""}, {L"abc %", L""},
      // Literal text is copied as it is, whatever the runtime's code page holds.
      {L"%Y年%m月%d日", L"2017年03月04日"}, {L"\U0001F4C8 %H时%M分 \u00e9", L"\U0001F4C8 08时05分 \u00e9"},
      {L"100%% %#d/%#m %#H", L"100% 4/3 8"},
      {L"%Y" + std::wstring(31, L'\u5e74'), L"2017" + std::wstring(31, L'\u5e74')},
      {L"%Y" + std::wstring(32, L'\u5e74'), L""}, {L"\u5e74%Q", L""}, {L"%#Q", L""}, {L"\u5e74%", L""},
      {std::wstring(L"%Y\0%m", 5), L""}};
  for (const auto& [format, expected] : cases) EXPECT_EQ(FormatTime(t, format), expected) << format.size();
}

TEST(MoveTimeRelativeNow, NormalisesEachFieldFromTheServerDateAcrossMonthsAndYears) {
  const struct { unsigned long server_date; int years, months, days; unsigned long expected; } kCases[] = {
      {20170131, 0, 1, 0, 20170303}, {20170131, 0, 0, 1, 20170201}, {20170131, 0, -1, 0, 20161231},
      {20170301, 0, 0, -1, 20170228}, {20170301, 0, 0, -5, 20170224}, {20170301, 0, 0, 0, 20170301},
      {20171231, 0, 0, 1, 20180101}, {20171231, 0, 12, 0, 20181231}, {20171231, 0, 0, -365, 20161231},
      {20160229, 1, 0, 0, 20170301}, {20160229, 4, 0, 0, 20200229}, {20170115, 0, -2, 0, 20161115},
      {20170115, 0, 0, -15, 20161231}, {20170311, 0, 0, 1, 20170312}, {20170311, 0, 0, 2, 20170313},
      {20171106, 0, 0, -1, 20171105}, {20171106, 0, 0, -2, 20171104}, {20170115, 1000, -12000, 0, 20170115},
      {20170115, -47, 0, 17000, 20160801}};
  for (const auto& c : kCases) {
    SetServerDate(c.server_date);
    const __int64 moved = MoveTimeRelativeNow(c.years, c.months, c.days);
    EXPECT_EQ(moved, DateToTime(c.expected, 0, 0, 0)) << c.server_date << " " << c.expected;
    // Local midnight also across the daylight-saving changes of March 12 and November 5.
    EXPECT_EQ(FormatTime(moved, L"%H:%M:%S"), L"00:00:00") << c.expected;
  }
  SetServerDate(20170115);
  const int kUnrepresentable[][3] = {{-100, 0, 0},         {INT_MAX, 0, 0}, {0, INT_MIN, INT_MIN},
                                     {0, 0, INT_MIN},      {0, 0, INT_MAX - 15}, {0, INT_MAX, 0},
                                     {INT_MIN, 0, 0},      {INT_MAX - 117, INT_MIN, 0}};
  for (const auto& c : kUnrepresentable)
    EXPECT_EQ(MoveTimeRelativeNow(c[0], c[1], c[2]), -1) << c[0] << " " << c[1] << " " << c[2];
}

// Weeks run Sunday to Saturday, also around the daylight-saving changes.
TEST(IsSameWeek, WeeksRunSundayToSaturday) {
  const struct { unsigned long a, b; bool same; } kCases[] = {
      {20170305, 20170311, true}, {20170311, 20170305, true}, {20170304, 20170305, false}, {20161231, 20170101, false},
      {20170305, 20170312, false}, {20170229, 20170301, true}, {20170312, 20170313, true}, {20170312, 20170318, true},
      {20170313, 20170318, true}, {20170311, 20170312, false}, {20171105, 20171106, true}, {20171106, 20171111, true},
      {20171104, 20171105, false}, {20171111, 20171112, false},
      // Equal numbers are the same week even when they are no date.
      {0, 0, true}, {99999999, 99999999, true}, {0, 19700101, false}, {30010101, 30010102, false}};
  for (const auto& c : kCases) EXPECT_EQ(IsSameWeek(c.a, c.b), c.same) << c.a << " " << c.b;
}

// Every day of 2017 starts at local midnight; each ctest run names its zone,
// whose offset and days of other than 24 hours are checked.
TEST(TimeZone, EveryDayOf2017AndTheZoneTheRunNames) {
  const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  using Uneven = std::vector<std::pair<unsigned long, __int64>>;
  Uneven uneven;
  for (int month = 1; month <= 12; ++month) {
    for (int day = 1; day <= kDaysInMonth[month - 1]; ++day) {
      const unsigned long date = 20170000 + month * 100 + day;
      const __int64 midnight = DateToTime(date, 0, 0, 0);
      ASSERT_EQ(FormatTime(midnight, L"%H:%M:%S"), L"00:00:00") << date;
      ASSERT_EQ(TimeToDate(midnight), date);
      ASSERT_EQ(TimeToDate(DateToTime(date, 23, 59, 59)), date);
      const __int64 length = DateToTime(date, 24, 0, 0) - midnight;
      if (length != 86400) uneven.emplace_back(date, length);
    }
  }
  EXPECT_EQ(Local(DateToTime(20171105, 23, 59, 59)), L"2017-11-05 23:59:59");
  const char* tz = std::getenv("TZ");
  const std::string zone = tz ? tz : "";
  // Local midnight of 2017-03-04 and of one more day (before the epoch in UTC, or in summer time).
  const struct { std::string zone; __int64 march_4; unsigned long date; __int64 midnight; Uneven uneven; } kZones[] = {
      {"CST-8", 1488556800, 19700101, -1, {}},
      {"UTC0", 1488585600, 19700101, 0, {}},
      {"EST5EDT", 1488603600, 20170704, 1499140800, {{20170312, 23 * 3600}, {20171105, 25 * 3600}}}};
  for (const auto& c : kZones) {
    if (zone != c.zone) continue;
    EXPECT_EQ(DateToTime(20170304, 0, 0, 0), c.march_4);
    EXPECT_EQ(DateToTime(c.date, 0, 0, 0), c.midnight);
    EXPECT_EQ(uneven, c.uneven);
    return;
  }
  GTEST_SKIP() << "TZ=" << zone << " is none of the zones the test runs name";
}

}  // namespace
