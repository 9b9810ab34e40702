// Lower-case hexadecimal text of bytes, high nibble first.
#ifndef FOUNDATION_HEX_TEXT_H_
#define FOUNDATION_HEX_TEXT_H_

#include <cstddef>
#include <string>

namespace common {

inline std::string HexText(const unsigned char* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(count * 2, '\0');
  for (size_t i = 0; i < count; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace common

#endif  // FOUNDATION_HEX_TEXT_H_
