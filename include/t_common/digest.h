/// @file
/// Checksums and message digests of a block of bytes in memory.
///
/// GetCRC32 is the reflected CRC-32 of IEEE 802.3, PNG and zlib (123456789 ->
/// 0xCBF43926). GetMd5 is RFC 1321's digest as 32 lower-case hex digits.
/// GetSha1 (words) stores H0..H4; GetSha1 (text) writes those five words'
/// little-endian bytes as hex ("abc" -> 363e99a9...), not the customary
/// big-endian rendering. Length 0 is valid, and a null block reads as empty;
/// nothing allocates but the result. Safe from several threads at once.
#ifndef T_COMMON_DIGEST_H_
#define T_COMMON_DIGEST_H_

#include <string>

#include "t_common/export.h"

namespace common {

/// The CRC-32 of length bytes at data.
T_COMMON_API unsigned long GetCRC32(void* data, unsigned long length);
/// The MD5 digest of length bytes at data, 32 lower-case hex digits.
T_COMMON_API std::string GetMd5(void* data, unsigned long length);
/// The SHA-1 digest of length bytes at data, its five words' little-endian
/// bytes as 40 hex digits.
T_COMMON_API std::string GetSha1(void* data, unsigned long length);
/// The SHA-1 digest of length bytes at data, stored as the words H0..H4.
T_COMMON_API void GetSha1(void* data, unsigned long length, unsigned int digest[5]);

}  // namespace common

#endif  // T_COMMON_DIGEST_H_
