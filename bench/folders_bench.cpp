// TrimBackslash cleans the paths of shell links: its time must grow linearly
// with the text, also when nearly every character is replaced.
#include <string>

#include <benchmark/benchmark.h>

#include "t_common/folders.h"

namespace {

void BM_TrimBackslashDoubledSeparators(benchmark::State& state) {
  const std::wstring text(static_cast<size_t>(state.range(0)) * 2, L'\\');
  for (auto _ : state) benchmark::DoNotOptimize(common::TrimBackslash(text, L"\\\\", L"\\"));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_TrimBackslashDoubledSeparators)->RangeMultiplier(10)->Range(1000, 1000000)->Complexity();

}  // namespace
