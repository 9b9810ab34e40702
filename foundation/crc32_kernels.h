// The ways of computing the reflected CRC-32 (polynomial 0xEDB88320) over a
// block. Each takes and returns the raw register, without the initial and
// final inversion, so blocks can be chained: crc = kernel(crc, next, n).
#ifndef FOUNDATION_CRC32_KERNELS_H_
#define FOUNDATION_CRC32_KERNELS_H_

#include <cstddef>
#include <cstdint>

namespace common {
namespace crc32 {

// Sixteen 256-entry tables, table[0] being the classic byte table; filled on
// first use (thread-safe) and read-only afterwards.
struct SlicingTables {
  uint32_t table[16][256];
  SlicingTables();
};
const SlicingTables& Tables();

// Sixteen bytes per step through the sixteen tables.
uint32_t UpdateBySlicing(uint32_t crc, const unsigned char* data, size_t length);

// True when the processor has PCLMULQDQ (and SSE2).
bool ProcessorHasCarrylessMultiply();
// Folds 64 bytes per step with carry-less multiplication; the tail and blocks
// under 64 bytes go through the tables. Call only when the processor has it.
uint32_t UpdateByCarrylessMultiply(uint32_t crc, const unsigned char* data, size_t length);

}  // namespace crc32
}  // namespace common

#endif  // FOUNDATION_CRC32_KERNELS_H_
