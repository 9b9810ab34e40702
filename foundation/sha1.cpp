#include <boost/uuid/detail/sha1.hpp>

#include "foundation/hex_text.h"
#include "t_common/digest.h"

namespace common {

void GetSha1(void* data, unsigned long length, unsigned int digest[5]) {
  if (!digest) return;
  boost::uuids::detail::sha1 sha1;
  if (data) sha1.process_bytes(data, length);
  unsigned int words[5];
  sha1.get_digest(words);
  for (int i = 0; i < 5; ++i) digest[i] = words[i];
}

std::string GetSha1(void* data, unsigned long length) {
  unsigned int words[5];
  GetSha1(data, length, words);
  // The words as they lie in memory (little-endian), not the customary big-endian rendering.
  unsigned char bytes[20];
  for (int i = 0; i < 5; ++i) {
    for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<unsigned char>(words[i] >> (8 * b));
  }
  return HexText(bytes, sizeof bytes);
}

}  // namespace common
