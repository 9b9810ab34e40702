#include "t_common/legal_holiday.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using Dates = std::vector<unsigned long>;

// Weekends always; other dates only from the whole list of their own year.
TEST(LegalHoliday, WeekendsAndTheWholeListOfTheDatesOwnYear) {
  common::LegalHoliday calendar;
  // Saturday, Sunday, Monday, Friday, Monday, Monday, Tuesday, Wednesday, and a Monday of 2018.
  const Dates days = {20170304, 20170305, 20170306, 20170303, 20170130, 20171002, 20170131, 20170201, 20180101};
  const auto holidays_among_days = [&] {
    Dates found;
    for (unsigned long day : days)
      if (calendar.IsHoliday(day)) found.push_back(day);
    return found;
  };
  Dates dates = {1, 2};
  EXPECT_FALSE(calendar.GetHolidays(2017, dates));
  EXPECT_EQ(dates, (Dates{1, 2}));
  EXPECT_EQ(holidays_among_days(), (Dates{20170304, 20170305}));
  calendar.SetHolidays(2017, {});  // still creates the year
  ASSERT_TRUE(calendar.GetHolidays(2017, dates));
  EXPECT_TRUE(dates.empty());
  EXPECT_EQ(holidays_among_days(), (Dates{20170304, 20170305}));
  calendar.SetHolidays(2017, {20171002, 20171001, 20170130, 20171001});
  ASSERT_TRUE(calendar.GetHolidays(2017, dates));
  EXPECT_EQ(dates, (Dates{20170130, 20171001, 20171001, 20171002}));  // sorted, duplicates kept
  EXPECT_EQ(holidays_among_days(), (Dates{20170304, 20170305, 20170130, 20171002}));
  EXPECT_FALSE(calendar.GetHolidays(2018, dates));
  // A second list replaces the first whole; 20180101 filed under 2017 is no holiday.
  calendar.SetHolidays(2017, {20170201, 20180101});
  ASSERT_TRUE(calendar.GetHolidays(2017, dates));
  EXPECT_EQ(dates, (Dates{20170201, 20180101}));
  EXPECT_EQ(holidays_among_days(), (Dates{20170304, 20170305, 20170201}));
  calendar.SetHolidays(2018, {20180101});
  EXPECT_EQ(holidays_among_days(), (Dates{20170304, 20170305, 20170201, 20180101}));
}

// Two lists of different length sharing one date: any mix of them is
// detectable, the shared date is always a holiday and another date never.
TEST(LegalHoliday, ConcurrentReadersSeeWholeListsOnly) {
  common::LegalHoliday calendar;
  const Dates first = {20170102, 20170103, 20170104};
  const Dates second = {20170103, 20170105, 20170106, 20170109, 20170110};
  calendar.SetHolidays(2017, first);
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::atomic<long> reads{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < 2; ++w) {
    threads.emplace_back([&, w] {
      // Unsorted input, so the sort is part of what runs concurrently.
      const Dates a(first.rbegin(), first.rend()), b(second.rbegin(), second.rend());
      for (int i = 0; !stop.load(); ++i) calendar.SetHolidays(2017, (i + w) % 2 ? a : b);
    });
  }
  for (int r = 0; r < 4; ++r) {
    threads.emplace_back([&] {
      for (Dates dates; !stop.load(); ++reads) {
        if (!calendar.GetHolidays(2017, dates) || (dates != first && dates != second)) ++torn;
        if (!calendar.IsHoliday(20170103) || calendar.IsHoliday(20170111)) ++torn;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  stop = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(reads.load(), 0);
}

}  // namespace
