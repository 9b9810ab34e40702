#include "foundation/crc32_kernels.h"

#include <cpuid.h>
#include <emmintrin.h>
#include <wmmintrin.h>

#include <cstring>

namespace common {
namespace crc32 {
namespace {

constexpr uint32_t kReflectedPolynomial = 0xEDB88320u;

inline uint32_t LoadLittleEndian32(const unsigned char* p) {
  uint32_t word;
  std::memcpy(&word, p, sizeof word);  // every target of ours is little-endian
  return word;
}

// Folding constants for the reflected polynomial: x^(4*128+32) and
// x^(4*128-32) mod P for four lanes, x^(128+32) and x^(128-32) for one lane,
// x^64 for the 64-to-32 step, then the Barrett pair mu and P itself.
constexpr long long kFoldBy4Low = 0x154442bd4LL, kFoldBy4High = 0x1c6e41596LL;
constexpr long long kFoldBy1Low = 0x1751997d0LL, kFoldBy1High = 0x0ccaa009eLL;
constexpr long long kFold64To32 = 0x163cd6124LL;
constexpr long long kBarrettPolynomial = 0x1db710641LL, kBarrettMu = 0x1f7011641LL;

#if defined(__i386__)
// 32-bit callers only promise a 4-byte aligned stack; SSE spills need 16.
#define CLMUL_FUNCTION __attribute__((target("pclmul,sse2"), force_align_arg_pointer))
#else
#define CLMUL_FUNCTION __attribute__((target("pclmul,sse2")))
#endif

CLMUL_FUNCTION inline __m128i Fold(__m128i lanes, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(lanes, constants, 0x00), _mm_clmulepi64_si128(lanes, constants, 0x11));
}

CLMUL_FUNCTION inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace

SlicingTables::SlicingTables() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i;
    for (int bit = 0; bit < 8; ++bit) r = (r >> 1) ^ (kReflectedPolynomial & (0u - (r & 1u)));
    table[0][i] = r;
  }
  // table[k][i]: byte i followed by k zero bytes.
  for (int k = 1; k < 16; ++k) {
    for (int i = 0; i < 256; ++i) {
      const uint32_t previous = table[k - 1][i];
      table[k][i] = (previous >> 8) ^ table[0][previous & 0xFFu];
    }
  }
}

const SlicingTables& Tables() {
  static const SlicingTables tables;
  return tables;
}

uint32_t UpdateBySlicing(uint32_t crc, const unsigned char* data, size_t length) {
  const auto& t = Tables().table;
  while (length >= 16) {
    const uint32_t w0 = LoadLittleEndian32(data) ^ crc;
    const uint32_t w1 = LoadLittleEndian32(data + 4);
    const uint32_t w2 = LoadLittleEndian32(data + 8);
    const uint32_t w3 = LoadLittleEndian32(data + 12);
    crc = t[15][w0 & 0xFF] ^ t[14][(w0 >> 8) & 0xFF] ^ t[13][(w0 >> 16) & 0xFF] ^ t[12][w0 >> 24] ^
          t[11][w1 & 0xFF] ^ t[10][(w1 >> 8) & 0xFF] ^ t[9][(w1 >> 16) & 0xFF] ^ t[8][w1 >> 24] ^
          t[7][w2 & 0xFF] ^ t[6][(w2 >> 8) & 0xFF] ^ t[5][(w2 >> 16) & 0xFF] ^ t[4][w2 >> 24] ^
          t[3][w3 & 0xFF] ^ t[2][(w3 >> 8) & 0xFF] ^ t[1][(w3 >> 16) & 0xFF] ^ t[0][w3 >> 24];
    data += 16;
    length -= 16;
  }
  while (length-- > 0) crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
  return crc;
}

bool ProcessorHasCarrylessMultiply() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) != 0 && (edx & bit_SSE2) != 0;
}

CLMUL_FUNCTION uint32_t UpdateByCarrylessMultiply(uint32_t crc, const unsigned char* data, size_t length) {
  if (length < 64) return UpdateBySlicing(crc, data, length);

  __m128i x0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = Load(data + 16);
  __m128i x2 = Load(data + 32);
  __m128i x3 = Load(data + 48);
  data += 64;
  length -= 64;

  const __m128i fold_by_4 = _mm_set_epi64x(kFoldBy4High, kFoldBy4Low);
  while (length >= 64) {
    x0 = _mm_xor_si128(Fold(x0, fold_by_4), Load(data));
    x1 = _mm_xor_si128(Fold(x1, fold_by_4), Load(data + 16));
    x2 = _mm_xor_si128(Fold(x2, fold_by_4), Load(data + 32));
    x3 = _mm_xor_si128(Fold(x3, fold_by_4), Load(data + 48));
    data += 64;
    length -= 64;
  }

  const __m128i fold_by_1 = _mm_set_epi64x(kFoldBy1High, kFoldBy1Low);
  x0 = _mm_xor_si128(Fold(x0, fold_by_1), x1);
  x0 = _mm_xor_si128(Fold(x0, fold_by_1), x2);
  x0 = _mm_xor_si128(Fold(x0, fold_by_1), x3);
  while (length >= 16) {
    x0 = _mm_xor_si128(Fold(x0, fold_by_1), Load(data));
    data += 16;
    length -= 16;
  }

  // 128 bits to 64: the low half folded onto the high half.
  x0 = _mm_xor_si128(_mm_srli_si128(x0, 8), _mm_clmulepi64_si128(x0, fold_by_1, 0x10));
  // 64 bits to 32.
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  x0 = _mm_xor_si128(_mm_srli_si128(x0, 4),
                     _mm_clmulepi64_si128(_mm_and_si128(x0, low32), _mm_set_epi64x(0, kFold64To32), 0x00));
  // Barrett reduction to the 32-bit remainder.
  const __m128i barrett = _mm_set_epi64x(kBarrettMu, kBarrettPolynomial);
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  x0 = _mm_xor_si128(x0, t);
  crc = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x0, 4)));

  return UpdateBySlicing(crc, data, length);
}

}  // namespace crc32
}  // namespace common
