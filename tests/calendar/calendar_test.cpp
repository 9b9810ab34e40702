// Server clock, dates, the holiday calendar and trading days. The program runs
// in several time zones (see CMakeLists.txt).
#include <gtest/gtest.h>
#include <time.h>
#include <windows.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <thread>

#include "support/test_support.h"
#include "t_common/legal_holiday.h"
#include "t_common/server_clock.h"
#include "t_common/trading.h"

namespace {

using namespace common;
using namespace stock;
using Dates = std::vector<unsigned long>;

void SetServerDate(unsigned long date) { SyncServerTime(DateToTime(date, 10, 0, 0)); }
std::wstring Stamp(__int64 time) { return FormatTime(time, L"%Y%m%d %H:%M:%S"); }

// Any synced value is taken as it is, and the clock moves on a second only
// once a whole second has passed; a fresh process (a child, so that no sync
// came first) shows the machine's UTC clock.
TEST(ServerClock, StartsAtTheMachineClockAndAdvancesInWholeSecondsFromASync) {
  DWORD start = ::GetTickCount();
  // At least `least`, at most what `synced` may have become in the whole seconds since start.
  const auto reads = [&start](__int64 least, __int64 synced) {
    const __int64 read = GetCurrentServerTime();
    EXPECT_TRUE(read >= least && read <= synced + (::GetTickCount() - start) / 1000) << read << " " << least;
  };
  // The load's truncation and the tick counter's own second boundaries each allow a second.
  if (testing_support::IsChildRun()) return reads(_time64(nullptr) - 2, _time64(nullptr) + 1);
  EXPECT_EQ(testing_support::RunSelfInChild("ServerClock.StartsAt*"), 0);
  const __int64 t = 1488765600;  // 2017-03-06 02:00:00 UTC
  for (const long long synced : {0LL, -86400LL, 32503680000LL, 0x7fffffffLL + 5, t})
    start = ::GetTickCount(), SyncServerTime(synced), reads(synced, synced);
  // 0.9 s after the sync the clock still reads t, 1.2 s after it t + 1.
  for (const auto& [wait, least] : {std::pair<DWORD, __int64>{900, t}, {300, t + 1}}) ::Sleep(wait), reads(least, t);
}

// Writers and four readers run again and again, each on a thread of its own,
// for 1.5 s. Clock writers sync to values whose two 32-bit halves both differ
// from every other writer's, so a time read half from one sync and half from
// another (possible where 64-bit stores are two, as in the 32-bit build) lands
// far from all of them. Two holiday lists of different length share one date,
// each set unsorted so that the sort races too: a reader sees one of them
// whole, the shared date always a holiday and another date never.
TEST(Concurrency, ReadersSeeNoTornTimeAndOnlyWholeHolidayLists) {
  const auto failed_reads = [](int writers, const std::function<void(int)>& write, const std::function<bool()>& read) {
    std::atomic<int> stop{0}, failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < writers + 4; ++i)
      threads.emplace_back([&, i] { do i < writers ? write(i) : void(failures += !read()); while (!stop); });
    ::Sleep(1500), stop = 1;
    for (auto& thread : threads) thread.join();
    return failures.load();
  };
  constexpr __int64 kStride = 0x100000001LL;
  SyncServerTime(kStride);
  EXPECT_EQ(failed_reads(4, [](int w) { SyncServerTime((w + 1) * kStride); }, [] {
    const __int64 read = GetCurrentServerTime();
    return read / kStride >= 1 && read / kStride <= 4 && read % kStride <= 60;
  }), 0);
  LegalHoliday calendar;
  const Dates first = {20170102, 20170103, 20170104}, second = {20170103, 20170105, 20170106, 20170109, 20170110};
  const Dates unsorted[] = {Dates(first.rbegin(), first.rend()), Dates(second.rbegin(), second.rend())};
  calendar.SetHolidays(2017, first);
  EXPECT_EQ(failed_reads(2, [&](int w) { calendar.SetHolidays(2017, unsorted[w]); }, [&] {
    Dates dates;
    return calendar.GetHolidays(2017, dates) && (dates == first || dates == second) && calendar.IsHoliday(20170103) &&
           !calendar.IsHoliday(20170111);
  }), 0);
}

TEST(DateConversion, RoundTripsNormalisesAndRejectsUnrepresentableDates) {
  EXPECT_EQ(DateToTime(20170304, 23, 59, 59) - DateToTime(20170304, 0, 0, 0), 86399);
  EXPECT_EQ(Stamp(DateToTime(20170304, 9, 30, 5)), L"20170304 09:30:05");
  EXPECT_EQ(TimeToDate(DateToTime(20170100, 0, 0, 0)), 20161231u);
  int field[6] = {};  // the number split, nothing validated
  AnalyzeDate(20170304, field[0], field[1], field[2]), AnalyzeDate(123, field[3], field[4], field[5]);
  EXPECT_EQ(std::vector<int>(field, field + 6), (std::vector<int>{2017, 3, 4, 0, 1, 23}));
  // Date, hour, minute and second, then the same time with every field in range.
  const long kSame[][8] = {
      {20170132, 0, 0, 0, 20170201, 0, 0, 0}, {20171301, 0, 0, 0, 20180101, 0, 0, 0},
      {20170304, 24, 0, 0, 20170305, 0, 0, 0}, {20170229, 0, 0, 0, 20170301, 0, 0, 0},
      {20170304, 0, -1, 0, 20170303, 23, 59, 0}, {20170304, 0, 0, 90, 20170304, 0, 1, 30},
      {19700101, 0, 0, INT_MAX, 20380119, 3, 14, 7}, {21000101, 0, 0, INT_MIN, 20311213, 20, 45, 52}};
  for (const auto& c : kSame) EXPECT_EQ(DateToTime(c[0], c[1], c[2], c[3]), DateToTime(c[4], c[5], c[6], c[7])) << c[0];
  // Fields that no calendar holds, however they would add up in int.
  const long long kUnrepresentable[][4] = {
      {0, 0, 0, 0}, {19691231, 0, 0, 0}, {30010101, 0, 0, 0}, {0xFFFFFFFF, 0, 0, 0},
      {19700101, INT_MIN, INT_MIN, INT_MIN}, {19700101, INT_MAX, INT_MAX, INT_MAX}, {20170304, 0, 0, INT_MIN},
      {20170304, INT_MAX, 0, 0}, {20170304, INT_MIN, INT_MAX, 0}, {0xFFFFFFFF, INT_MIN, INT_MIN, INT_MIN},
      {20179999, INT_MAX, INT_MAX, INT_MAX}};
  for (const auto& c : kUnrepresentable) EXPECT_EQ(DateToTime(c[0], c[1], c[2], c[3]), -1) << c[0] << " " << c[1];
  for (const __int64 t : {-1LL, LLONG_MIN, LLONG_MAX}) EXPECT_EQ(TimeToDate(t) + FormatTime(t, L"%Y").size(), 0u);
}

TEST(FormatTime, FitsThirtyFiveCharactersOrGivesEmpty) {
  const std::wstring fits(35, L'x'), year = L"%Y";
  const std::pair<std::wstring, std::wstring> kCases[] = {
      {L"", L""}, {L"%Y%m%d", L"20170304"}, {L"%H:%M:%S literal", L"08:05:09 literal"}, {fits, fits},
      {fits + L"x", L""}, {L"%Y%Y%Y%Y%Y%Y%Y%Y", L"20172017201720172017201720172017"}, {L"%Y%Y%Y%Y%Y%Y%Y%Y%Y", L""},
      {L"%Q", L""}, {L"abc %", L""}, {L"%#Q", L""}, {L"\u5e74%Q", L""}, {std::wstring(L"%Y\0%m", 5), L""},
      // Literal text is copied as it is, whatever the runtime's code page holds.
      {L"%Y年%m月%d日", L"2017年03月04日"}, {L"\U0001F4C8 %H时%M分 \u00e9", L"\U0001F4C8 08时05分 \u00e9"},
      {L"100%% %#d/%#m %#H", L"100% 4/3 8"}, {year + std::wstring(32, L'\u5e74'), L""},
      {year + std::wstring(31, L'\u5e74'), L"2017" + std::wstring(31, L'\u5e74')}};
  for (const auto& [format, expected] : kCases)
    EXPECT_EQ(FormatTime(DateToTime(20170304, 8, 5, 9), format), expected) << format.size();
}

// Local midnight, also across the daylight-saving changes of March 12 and November 5.
TEST(MoveTimeRelativeNow, NormalisesEachFieldFromTheServerDateAcrossMonthsAndYears) {
  const long long kCases[][5] = {  // server date, years, months, days, result
      {20170131, 0, 1, 0, 20170303}, {20170131, 0, 0, 1, 20170201}, {20170131, 0, -1, 0, 20161231},
      {20170301, 0, 0, -1, 20170228}, {20170301, 0, 0, -5, 20170224}, {20170301, 0, 0, 0, 20170301},
      {20171231, 0, 0, 1, 20180101}, {20171231, 0, 12, 0, 20181231}, {20171231, 0, 0, -365, 20161231},
      {20160229, 1, 0, 0, 20170301}, {20160229, 4, 0, 0, 20200229}, {20170115, 0, -2, 0, 20161115},
      {20170115, 0, 0, -15, 20161231}, {20170311, 0, 0, 1, 20170312}, {20170311, 0, 0, 2, 20170313},
      {20171106, 0, 0, -1, 20171105}, {20171106, 0, 0, -2, 20171104}, {20170115, 1000, -12000, 0, 20170115},
      {20170115, -47, 0, 17000, 20160801}};
  const auto moved = [](long long date, long long years, long long months, long long days) {
    return SetServerDate(static_cast<unsigned long>(date)), MoveTimeRelativeNow(int(years), int(months), int(days));
  };
  for (const auto& c : kCases) EXPECT_EQ(Stamp(moved(c[0], c[1], c[2], c[3])), std::to_wstring(c[4]) + L" 00:00:00");
  const int kUnrepresentable[][3] = {{-100, 0, 0},         {INT_MAX, 0, 0},  {0, INT_MIN, INT_MIN},
                                     {0, 0, INT_MIN},      {0, INT_MAX, 0},  {INT_MIN, 0, 0},
                                     {0, 0, INT_MAX - 15}, {INT_MAX - 117, INT_MIN, 0}};
  for (const auto& c : kUnrepresentable) EXPECT_EQ(moved(20170115, c[0], c[1], c[2]), -1) << c[0] << " " << c[1];
}

// Weeks run Sunday to Saturday, also around the daylight-saving changes; equal
// numbers are the same week even when they are no date.
TEST(IsSameWeek, WeeksRunSundayToSaturday) {
  const std::tuple<unsigned long, unsigned long, bool> kCases[] = {
      {20170305, 20170311, true}, {20170311, 20170305, true}, {20170304, 20170305, false}, {20161231, 20170101, false},
      {20170305, 20170312, false}, {20170229, 20170301, true}, {20170312, 20170313, true}, {20170312, 20170318, true},
      {20170313, 20170318, true}, {20170311, 20170312, false}, {20171105, 20171106, true}, {20171106, 20171111, true},
      {20171104, 20171105, false}, {20171111, 20171112, false}, {0, 0, true}, {99999999, 99999999, true},
      {0, 19700101, false}, {30010101, 30010102, false}};
  for (const auto& [a, b, same] : kCases) EXPECT_EQ(IsSameWeek(a, b), same) << a << " " << b;
}

// Every day of 2017 starts at local midnight; each run names its zone, whose
// offset and days of other than 24 hours are checked.
TEST(TimeZone, EveryDayOf2017AndTheZoneTheRunNames) {
  using Uneven = std::vector<std::pair<unsigned long, __int64>>;
  Uneven uneven;
  unsigned long date = 20170101;
  for (int day = 0; day < 365; ++day) {
    const __int64 midnight = DateToTime(date, 0, 0, 0), next = DateToTime(date, 24, 0, 0);
    ASSERT_TRUE(Stamp(midnight) == std::to_wstring(date) + L" 00:00:00" && TimeToDate(next - 1) == date) << date;
    if (next - midnight != 86400) uneven.emplace_back(date, next - midnight);
    date = TimeToDate(next);
  }
  EXPECT_EQ(date, 20180101u);
  const std::string zone = std::getenv("TZ") ? std::getenv("TZ") : "";
  // Local midnight of 2017-03-04 and of one more day (before the epoch in UTC, or in summer time).
  const auto zone_is = [&uneven](unsigned long date, __int64 march_4, __int64 midnight, const Uneven& days) {
    EXPECT_EQ(std::make_tuple(DateToTime(20170304, 0, 0, 0), DateToTime(date, 0, 0, 0), uneven),
              std::make_tuple(march_4, midnight, days));
  };
  if (zone == "CST-8") return zone_is(19700101, 1488556800, -1, {});
  if (zone == "UTC0") return zone_is(19700101, 1488585600, 0, {});
  if (zone == "EST5EDT") return zone_is(20170704, 1488603600, 1499140800, {{20170312, 82800}, {20171105, 90000}});
  GTEST_SKIP() << "TZ=" << zone << " is none of the zones the test runs name";
}

// Weekends always; other dates only from the whole list of their own year.
// Each list replaces the year's whole list, sorted with duplicates kept; an
// empty one still makes the year; 20180101 filed under 2017 is no holiday.
TEST(LegalHoliday, WeekendsAndTheWholeListOfTheDatesOwnYear) {
  LegalHoliday calendar;
  // Saturday, Sunday, Monday, Friday, Monday, Monday, Tuesday, Wednesday, and a Monday of 2018.
  const Dates days = {20170304, 20170305, 20170306, 20170303, 20170130, 20171002, 20170131, 20170201, 20180101};
  Dates dates = {1, 2};
  EXPECT_TRUE(!calendar.GetHolidays(2017, dates) && dates == (Dates{1, 2}));
  const std::tuple<int, Dates, Dates, Dates> kSteps[] = {  // year, list set, list held, holidays among days
      {2000, {}, {}, {20170304, 20170305}}, {2017, {}, {}, {20170304, 20170305}},
      {2017, {20171002, 20171001, 20170130, 20171001}, {20170130, 20171001, 20171001, 20171002},
       {20170304, 20170305, 20170130, 20171002}},
      {2017, {20170201, 20180101}, {20170201, 20180101}, {20170304, 20170305, 20170201}},
      {2018, {20180101}, {20180101}, {20170304, 20170305, 20170201, 20180101}}};
  for (const auto& [year, set, held, holidays] : kSteps) {
    calendar.SetHolidays(year, set);
    Dates found;
    for (unsigned long day : days) found.insert(found.end(), calendar.IsHoliday(day), day);
    EXPECT_TRUE(calendar.GetHolidays(year, dates) && dates == held && found == holidays) << year;
  }
  EXPECT_FALSE(calendar.GetHolidays(2019, dates));
}

// The server's today is Monday 2017-03-06 (kMonday) unless a step says
// otherwise; 2017 has the holidays that set_today gives.
TEST(Trading, TradingDatesPhasesAndSpans) {
  constexpr unsigned long kMonday = 20170306;
  LegalHoliday& calendar = *pattern::CSingleton<LegalHoliday>::GetInstance();
  const auto set_today = [&calendar](const Dates& dates) { calendar.SetHolidays(2017, dates), SetServerDate(kMonday); };
  const auto at = [](unsigned long date, int hhmmss) {  // the local time hhmmss of a date
    return static_cast<unsigned long>(DateToTime(date, hhmmss / 10000, hhmmss / 100 % 100, hhmmss % 100));
  };
  const auto check = [](unsigned long time, MarketStatus status, long span) {
    EXPECT_EQ(std::make_pair(CheckMarketStatus(time), TimeSpanToNextMarketStatus(time)), std::make_pair(status, span))
        << time;
  };
  // Before a date the calendar cannot hold, or its first day, no trading day
  // can be found. Fourteen days without trading give the starting date;
  // thirteen the Friday before them.
  Dates fortnight;
  for (unsigned long date = 20170220; date <= 20170305; ++date) fortnight.push_back(date);
  const Dates thirteen(fortnight.begin() + 1, fortnight.end()), friday_and_today = {20170303, kMonday};
  const std::tuple<Dates, unsigned long, unsigned long> kLast[] = {  // holidays, date, last trading date
      {{}, kMonday, 20170303},         {{}, 20170307, kMonday},         {{}, 0, 20170303},
      {{}, 20170305, 20170303},        {{}, 20170102, 20161230},        {{}, 19700101, 19700101},
      {{}, 30010101, 30010101},        {{}, 0xFFFFFFFF, 0xFFFFFFFF},    {friday_and_today, kMonday, 20170302},
      {fortnight, kMonday, kMonday},   {fortnight, 0, kMonday},         {fortnight, 20170307, kMonday},
      {thirteen, kMonday, 20170220}};
  for (const auto& [off, date, last] : kLast) EXPECT_EQ((set_today(off), GetLastTradingDate(date)), last) << date;
  set_today({});
  // The phase and the seconds to the next phase on each side of every boundary.
  // The span runs to 09:00, 09:15, 13:00 or the day's 23:59:59, at least 3 s.
  // Yesterday is closed to its 23:59:59, tomorrow not open, a weekend day waits for its end.
  const struct { int time; MarketStatus status; long span; unsigned long date = kMonday; } kToday[] = {
      {0, MarketNotOpen, 32400},     {80000, MarketNotOpen, 3600},    {85956, MarketNotOpen, 4},
      {85957, MarketNotOpen, 3},     {85959, MarketNotOpen, 3},       {90000, MarketPreOpen, 900},
      {91459, MarketPreOpen, 3},     {91500, MarketOpening, 3},       {92959, MarketOpening, 3},
      {93000, MarketMorning, 3},     {113059, MarketMorning, 3},      {113100, MarketNoonBreak, 5340},
      {125959, MarketNoonBreak, 3},  {130000, MarketAfternoon, 3},    {140000, MarketAfternoon, 3},    {150059, MarketAfternoon, 3},
      {150100, MarketClosed, 32339}, {235957, MarketClosed, 3},       {235959, MarketClosed, 3},
      {230000, MarketClosed, 3599, 20170303}, {100000, MarketNotOpen, 3, 20170307}, {0, MarketClosed, 86399, 20170305}};
  for (const auto& c : kToday) check(at(c.date, c.time), c.status, c.span);
  SyncServerTime(DateToTime(kMonday, 12, 0, 0));
  EXPECT_EQ(CheckMarketStatus(0), MarketNoonBreak);
  EXPECT_NEAR(TimeSpanToNextMarketStatus(0), 3600, 100);  // the clock runs on meanwhile
  set_today(friday_and_today);
  check(at(kMonday, 100000), MarketNotOpen, 50399);  // a holiday waits for its end
  EXPECT_EQ(GetLatestTradingDate(), 20170302u);
  calendar.SetHolidays(2017, {}), SetServerDate(20170305);  // a Sunday
  EXPECT_EQ(GetLatestTradingDate(), 20170303u);
  EXPECT_EQ(CheckMarketStatus(at(20170305, 100000)), MarketNotOpen);
}

}  // namespace
