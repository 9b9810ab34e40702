// Digest throughput on 64 B, 16 KiB and 64 MiB blocks, beside a plain memory
// read of the same block (the physical limit) and the one-lookup-per-byte
// CRC-32 (the reference shape the library's CRC is measured against).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "foundation/crc32_kernels.h"
#include "t_common/digest.h"

namespace {

// One pseudo-random 64 MiB block; the smaller sizes use its start.
unsigned char* Block() {
  static std::vector<unsigned char> block = [] {
    std::vector<unsigned char> bytes(64u << 20);
    uint32_t state = 0x9E3779B9u;
    for (auto& b : bytes) {
      state = state * 1664525u + 1013904223u;
      b = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
  }();
  return block.data();
}

void Finish(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_MemoryRead(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const auto* words = reinterpret_cast<const uint64_t*>(Block());
  for (auto _ : state) {
    uint64_t sum = 0;
    for (size_t i = 0; i < size / 8; ++i) sum += words[i];
    benchmark::DoNotOptimize(sum);
  }
  Finish(state);
}

void BM_Crc32ByteTable(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const auto* bytes = Block();
  const uint32_t* table = common::crc32::Tables().table[0];
  for (auto _ : state) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
    benchmark::DoNotOptimize(crc);
  }
  Finish(state);
}

void BM_Crc32Slicing(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const auto* bytes = Block();
  for (auto _ : state) benchmark::DoNotOptimize(common::crc32::UpdateBySlicing(0xFFFFFFFFu, bytes, size));
  Finish(state);
}

void BM_Crc32(benchmark::State& state) {
  void* data = Block();
  const auto length = static_cast<unsigned long>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(common::GetCRC32(data, length));
  state.SetLabel(common::crc32::ProcessorHasCarrylessMultiply() ? "carry-less multiply" : "slicing-by-16");
  Finish(state);
}

void BM_Md5(benchmark::State& state) {
  void* data = Block();
  const auto length = static_cast<unsigned long>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(common::GetMd5(data, length));
  Finish(state);
}

void BM_Sha1(benchmark::State& state) {
  void* data = Block();
  const auto length = static_cast<unsigned long>(state.range(0));
  unsigned int words[5];
  for (auto _ : state) {
    common::GetSha1(data, length, words);
    benchmark::DoNotOptimize(words);
  }
  Finish(state);
}

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(64)->Arg(16 << 10)->Arg(64 << 20); }

BENCHMARK(BM_MemoryRead)->Apply(Sizes);
BENCHMARK(BM_Crc32ByteTable)->Apply(Sizes);
BENCHMARK(BM_Crc32Slicing)->Apply(Sizes);
BENCHMARK(BM_Crc32)->Apply(Sizes);
BENCHMARK(BM_Md5)->Apply(Sizes);
BENCHMARK(BM_Sha1)->Apply(Sizes);

}  // namespace
