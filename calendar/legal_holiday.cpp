#include "t_common/legal_holiday.h"

#include <algorithm>

#include "calendar/local_time.h"
#include "t_common/server_clock.h"

template class pattern::CSingleton<common::LegalHoliday>;

namespace common {

LegalHoliday::LegalHoliday() = default;

LegalHoliday::~LegalHoliday() = default;

void LegalHoliday::SetHolidays(int year, const std::vector<unsigned long>& dates) {
  // Sorted outside the lock: readers wait only for the swap.
  std::vector<unsigned long> sorted(dates);
  std::sort(sorted.begin(), sorted.end());
  boost::mutex::scoped_lock lock(mutex_);
  holidays_[year].swap(sorted);
}

bool LegalHoliday::GetHolidays(int year, std::vector<unsigned long>& dates) const {
  boost::mutex::scoped_lock lock(mutex_);
  const auto found = holidays_.find(year);
  if (found == holidays_.end()) return false;
  dates = found->second;
  return true;
}

bool LegalHoliday::IsHoliday(unsigned long date) const {
  std::tm fields;
  if (BreakDownLocalTime(DateToTime(date, 0, 0, 0), fields) && (fields.tm_wday == 0 || fields.tm_wday == 6))
    return true;
  std::vector<unsigned long> year_holidays;
  if (!GetHolidays(static_cast<int>(date / 10000), year_holidays)) return false;
  return std::binary_search(year_holidays.begin(), year_holidays.end(), date);
}

}  // namespace common
