// The clock read is meant to cost a tick read and a little arithmetic; the
// trading functions call the date conversions and the calendar in loops.
#include <benchmark/benchmark.h>

#include "t_common/legal_holiday.h"
#include "t_common/server_clock.h"
#include "t_common/symbols.h"
#include "t_common/trading.h"

namespace {

void SetUpMonday() {
  pattern::CSingleton<common::LegalHoliday>::GetInstance()->SetHolidays(
      2017, {20170102, 20170127, 20170130, 20170131, 20170201, 20170202, 20170403, 20170404, 20170501,
             20170530, 20170531, 20171002, 20171003, 20171004, 20171005, 20171006});
  common::SyncServerTime(common::DateToTime(20170306, 10, 0, 0));
}

void BM_GetCurrentServerTime(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(common::GetCurrentServerTime());
}
BENCHMARK(BM_GetCurrentServerTime)->ThreadRange(1, 2);

void BM_DateToTime(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(common::DateToTime(20170306, 10, 0, 0));
}
BENCHMARK(BM_DateToTime);

void BM_IsHoliday(benchmark::State& state) {
  SetUpMonday();
  const common::LegalHoliday* calendar = pattern::CSingleton<common::LegalHoliday>::GetInstance();
  for (auto _ : state) benchmark::DoNotOptimize(calendar->IsHoliday(20171003));
}
BENCHMARK(BM_IsHoliday);

void BM_CheckMarketStatus(benchmark::State& state) {
  SetUpMonday();
  const unsigned long moment = static_cast<unsigned long>(common::DateToTime(20170306, 11, 0, 0));
  for (auto _ : state) benchmark::DoNotOptimize(stock::CheckMarketStatus(moment));
}
BENCHMARK(BM_CheckMarketStatus);

// After a long holiday: the search looks back over a whole week.
void BM_GetLastTradingDate(benchmark::State& state) {
  SetUpMonday();
  for (auto _ : state) benchmark::DoNotOptimize(stock::GetLastTradingDate(20171009));
}
BENCHMARK(BM_GetLastTradingDate);

void BM_CheckSymbol(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(stock::CheckSymbol(L"sz399001"));
}
BENCHMARK(BM_CheckSymbol);

}  // namespace
