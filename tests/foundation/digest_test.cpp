#include "t_common/digest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "foundation/crc32_kernels.h"
#include "support/test_support.h"

namespace {

void* Bytes(const std::string& text) { return const_cast<char*>(text.data()); }
unsigned long Length(const std::string& text) { return static_cast<unsigned long>(text.size()); }

// The definition, one bit at a time, with no table shared with the library:
// the raw register, without the initial and final inversion.
uint32_t ReferenceRegister(uint32_t crc, const unsigned char* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

uint32_t ReferenceCrc32(const unsigned char* data, size_t length) {
  return ReferenceRegister(0xFFFFFFFFu, data, length) ^ 0xFFFFFFFFu;
}

std::vector<unsigned char> PseudoRandomBytes(size_t count, uint32_t seed) {
  std::vector<unsigned char> bytes(count);
  std::minstd_rand generator(seed);
  for (auto& b : bytes) b = static_cast<unsigned char>(generator() >> 16);
  return bytes;
}

// The check value ties the reference below to the standard; no data gives 0.
TEST(Crc32, CheckValueAndNoData) {
  EXPECT_EQ(common::GetCRC32(Bytes("123456789"), 9), 0xCBF43926ul);
  EXPECT_EQ(common::GetCRC32(nullptr, 0), 0ul);
  EXPECT_EQ(common::GetCRC32(nullptr, 16), 0ul);
}

// The library and each kernel this processor can run, at every length up to
// 300 and every alignment, on large blocks, and chained across splits.
TEST(Crc32, EveryLengthAlignmentAndSplitMatchesTheDefinition) {
  using Kernel = uint32_t (*)(uint32_t, const unsigned char*, size_t);
  std::vector<Kernel> kernels = {&common::crc32::UpdateBySlicing};
  if (common::crc32::ProcessorHasCarrylessMultiply()) kernels.push_back(&common::crc32::UpdateByCarrylessMultiply);
  std::vector<unsigned char> pool = PseudoRandomBytes((1 << 20) + 77, 0x2545F491u);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; length <= 300; ++length) {
      const unsigned char* start = pool.data() + offset;
      const uint32_t expected = ReferenceCrc32(start, length);
      ASSERT_EQ(common::GetCRC32(pool.data() + offset, static_cast<unsigned long>(length)), expected)
          << "length " << length << " offset " << offset;
      for (Kernel kernel : kernels) ASSERT_EQ(kernel(0xFFFFFFFFu, start, length) ^ 0xFFFFFFFFu, expected) << length;
    }
  }
  for (size_t length : {size_t(4096), size_t(65536 + 13), pool.size()})
    EXPECT_EQ(common::GetCRC32(pool.data(), static_cast<unsigned long>(length)), ReferenceCrc32(pool.data(), length));
  const uint32_t whole = ReferenceRegister(0xFFFFFFFFu, pool.data(), 5000);
  for (Kernel kernel : kernels) {
    for (size_t split : {size_t(1), size_t(63), size_t(64), size_t(65), size_t(1000), size_t(4999)}) {
      const uint32_t head = kernel(0xFFFFFFFFu, pool.data(), split);
      EXPECT_EQ(kernel(head, pool.data() + split, 5000 - split), whole) << split;
    }
  }
}

// RFC 1321's suite and the padding boundaries, each also from unaligned starts.
TEST(Md5, KnownDigestsAtEveryAlignment) {
  const auto a = [](size_t count) { return std::string(count, 'a'); };
  const std::pair<std::string, std::string> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"}, {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"}, {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {a(55), "ef1772b6dff9a122358552954ad0df65"},  {a(56), "3b0c8ac703f828b04c6c197006d17218"},
      {a(57), "652b906d60af96844ebd21b674f35e93"},  {a(63), "b06521f39153d618550606be297466d5"},
      {a(64), "014842d480b571495a4a0363793f7367"},  {a(65), "c743a45e0d2e6a95cb859adae0248435"},
      {a(119), "8a7bd0732ed6a28ce75f6dabc90e1613"}, {a(120), "5f61c0ccad4cac44c75ff505e1f1e537"},
      {a(128), "e510683b3f5ffe4093d021808bc6ff70"}, {a(1000000), "7707d6ae4e027c70eea2a935c2296f21"}};
  for (const auto& [message, digest] : cases) {
    for (size_t offset = 0; offset < 8; ++offset) {
      std::string shifted = std::string(offset, 'x') + message;
      EXPECT_EQ(common::GetMd5(&shifted[offset], Length(message)), digest) << message.size() << " at " << offset;
    }
  }
  EXPECT_EQ(common::GetMd5(nullptr, 5), "d41d8cd98f00b204e9800998ecf8427e");
}

// The text form is each word's bytes in little-endian order. The digest
// itself is Boost's: one block and the empty message show the words arrive.
TEST(Sha1, Fips180VectorsAsWordsAndText) {
  const struct { std::string message; unsigned int words[5]; std::string text; } cases[] = {
      {"abc", {0xA9993E36, 0x4706816A, 0xBA3E2571, 0x7850C26C, 0x9CD0D89D}, "363e99a96a81064771253eba6cc250789dd8d09c"},
      {"", {0xDA39A3EE, 0x5E6B4B0D, 0x3255BFEF, 0x95601890, 0xAFD80709}, "eea339da0d4b6b5eefbf5532901860950907d8af"},
  };
  for (const auto& c : cases) {
    unsigned int words[5] = {1, 2, 3, 4, 5};
    common::GetSha1(Bytes(c.message), Length(c.message), words);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(words[i], c.words[i]) << c.message.size() << " word " << i;
    EXPECT_EQ(common::GetSha1(Bytes(c.message), Length(c.message)), c.text) << c.message.size();
  }
  EXPECT_EQ(common::GetSha1(nullptr, 3), "eea339da0d4b6b5eefbf5532901860950907d8af");
  common::GetSha1(Bytes("abc"), 3, nullptr);  // no array: nothing to store, no crash
}

// Runs again in a fresh child process so that the tables really are built there.
TEST(DigestFirstUse, EightThreadsAtOnce) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("DigestFirstUse.EightThreadsAtOnce"), 0);
    return;
  }
  const std::vector<unsigned char> block = PseudoRandomBytes(100000, 5u);
  const uint32_t expected = ReferenceCrc32(block.data(), block.size());
  std::atomic<int> mismatches{0};
  testing_support::RunOnThreadsAtOnce(8, [&] {
    void* data = const_cast<unsigned char*>(block.data());
    if (common::GetCRC32(data, static_cast<unsigned long>(block.size())) != expected) mismatches.fetch_add(1);
    if (common::GetMd5(Bytes("abc"), 3) != "900150983cd24fb0d6963f7d28e17f72") mismatches.fetch_add(1);
    if (common::GetSha1(Bytes("abc"), 3) != "363e99a96a81064771253eba6cc250789dd8d09c") mismatches.fetch_add(1);
  });
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
