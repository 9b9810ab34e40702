/// @file
/// The holiday calendar: per year, the dates besides weekends without trading.
///
/// The library holds no holiday data; callers set each year's list, which
/// replaces that year's earlier list whole. IsHoliday is true for every
/// Saturday and Sunday and for the dates in the list of the date's year (a
/// year never set has no holidays besides weekends). Dates are not validated.
/// Any thread may call any operation: a reader sees a year's old or new list,
/// never a mix. The process's shared calendar, the one the trading functions
/// consult, is pattern::CSingleton<common::LegalHoliday>::GetInstance().
#ifndef T_COMMON_LEGAL_HOLIDAY_H_
#define T_COMMON_LEGAL_HOLIDAY_H_

#include <map>
#include <vector>

#include <boost/thread/mutex.hpp>

#include "t_common/export.h"
#include "t_common/singleton.h"

namespace common {

/// A holiday calendar: each year's list of holidays besides weekends.
class T_COMMON_API LegalHoliday {
 public:
  LegalHoliday();
  ~LegalHoliday();
  LegalHoliday(const LegalHoliday&) = delete;
  LegalHoliday& operator=(const LegalHoliday&) = delete;

  /// Dates as YYYYMMDD, in any order, duplicates kept; the year is not checked
  /// against them. An empty list still gives the year an entry.
  void SetHolidays(int year, const std::vector<unsigned long>& dates);
  /// False, with dates untouched, when the year was never set; else its sorted list.
  bool GetHolidays(int year, std::vector<unsigned long>& dates) const;
  /// True for a Saturday, a Sunday or a date in its year's list.
  bool IsHoliday(unsigned long date) const;

 private:
  mutable boost::mutex mutex_;
  std::map<int, std::vector<unsigned long>> holidays_;
};

}  // namespace common

extern template class T_COMMON_API pattern::CSingleton<common::LegalHoliday>;

#endif  // T_COMMON_LEGAL_HOLIDAY_H_
