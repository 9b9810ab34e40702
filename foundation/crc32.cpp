#include <cstdint>

#include "t_common/digest.h"

namespace common {
namespace {

struct Crc32Table {
  uint32_t entries[256];
  Crc32Table() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t r = i;
      for (int bit = 0; bit < 8; ++bit) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
      entries[i] = r;
    }
  }
};

// Built on first use; the C++ runtime makes concurrent first calls wait for it.
const Crc32Table& Table() {
  static const Crc32Table table;
  return table;
}

}  // namespace

unsigned long GetCRC32(void* data, unsigned long length) {
  const uint32_t* table = Table().entries;
  const auto* bytes = static_cast<const unsigned char*>(data);
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned long i = 0; i < length; ++i) crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFFu];
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace common
