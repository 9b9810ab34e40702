#include "t_common/legal_holiday.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using Dates = std::vector<unsigned long>;

TEST(LegalHoliday, WeekendsAndTheWholeListOfTheDatesOwnYear) {
  common::LegalHoliday calendar;
  Dates dates = {1, 2};
  EXPECT_FALSE(calendar.GetHolidays(2017, dates));
  EXPECT_EQ(dates, (Dates{1, 2}));
  // Saturday, Sunday, Monday, Friday; then again with an empty list, which still creates the year.
  for (bool year_listed : {false, true}) {
    EXPECT_TRUE(calendar.IsHoliday(20170304));
    EXPECT_TRUE(calendar.IsHoliday(20170305));
    EXPECT_FALSE(calendar.IsHoliday(20170306));
    EXPECT_FALSE(calendar.IsHoliday(20170303));
    if (!year_listed) calendar.SetHolidays(2017, {});
  }
  ASSERT_TRUE(calendar.GetHolidays(2017, dates));
  EXPECT_TRUE(dates.empty());

  calendar.SetHolidays(2017, {20171002, 20171001, 20170130, 20171001});
  ASSERT_TRUE(calendar.GetHolidays(2017, dates));
  EXPECT_EQ(dates, (Dates{20170130, 20171001, 20171001, 20171002}));  // sorted, duplicates kept
  EXPECT_TRUE(calendar.IsHoliday(20170130));   // a Monday
  EXPECT_TRUE(calendar.IsHoliday(20171002));   // a Monday
  EXPECT_FALSE(calendar.IsHoliday(20170131));  // a Tuesday not in the list
  EXPECT_FALSE(calendar.GetHolidays(2018, dates));

  // A second list replaces the first whole.
  calendar.SetHolidays(2017, {20170201, 20180101});
  ASSERT_TRUE(calendar.GetHolidays(2017, dates));
  EXPECT_EQ(dates, (Dates{20170201, 20180101}));
  EXPECT_FALSE(calendar.IsHoliday(20170130));
  EXPECT_TRUE(calendar.IsHoliday(20170201));
  EXPECT_FALSE(calendar.IsHoliday(20180101));  // a Monday, filed under 2017
  calendar.SetHolidays(2018, {20180101});
  EXPECT_TRUE(calendar.IsHoliday(20180101));
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
      Dates dates;
      while (!stop.load()) {
        if (!calendar.GetHolidays(2017, dates) || (dates != first && dates != second)) ++torn;
        if (!calendar.IsHoliday(20170103) || calendar.IsHoliday(20170111)) ++torn;
        ++reads;
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
