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

std::vector<unsigned char> PseudoRandomBytes(size_t count, uint32_t seed) {
  std::vector<unsigned char> bytes(count);
  std::minstd_rand generator(seed);
  for (auto& b : bytes) b = static_cast<unsigned char>(generator() >> 16);
  return bytes;
}

// The check value ties the reference to the standard. Each kernel this processor can run, chained
// across a split from an unaligned start, goes through its block steps and its tail.
TEST(Crc32, CheckValueAndEachKernelMatchTheDefinition) {
  EXPECT_EQ(common::GetCRC32(Bytes("123456789"), 9), 0xCBF43926ul);
  EXPECT_EQ(common::GetCRC32(Bytes("abc"), 0), 0ul);
  EXPECT_EQ(common::GetCRC32(nullptr, 16), 0ul);
  std::vector<unsigned char> pool = PseudoRandomBytes(5003, 0x2545F491u);
  unsigned char* start = pool.data() + 3;
  for (size_t length : {1, 63, 64, 65, 5000})
    EXPECT_EQ(common::GetCRC32(start, static_cast<unsigned long>(length)),
              ReferenceRegister(~0u, start, length) ^ ~0u) << length;
  std::vector<uint32_t (*)(uint32_t, const unsigned char*, size_t)> kernels = {&common::crc32::UpdateBySlicing};
  if (common::crc32::ProcessorHasCarrylessMultiply()) kernels.push_back(&common::crc32::UpdateByCarrylessMultiply);
  for (const auto kernel : kernels)
    EXPECT_EQ(kernel(kernel(~0u, start, 100), start + 100, 4900), ReferenceRegister(~0u, start, 5000));
}

// RFC 1321's vectors and the lengths around the padding boundary, aligned and not.
TEST(Md5, KnownDigests) {
  const auto a = [](size_t count) { return std::string(count, 'a'); };
  std::string digits;
  while (digits.size() < 200) digits += "0123456789";
  const std::pair<std::string, std::string> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"}, {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {digits, "c902a17556796a9f97afa23bad130b04"},  // blocks that differ, and a tail after them
      {a(55), "ef1772b6dff9a122358552954ad0df65"},  {a(56), "3b0c8ac703f828b04c6c197006d17218"},
      {a(63), "b06521f39153d618550606be297466d5"},  {a(64), "014842d480b571495a4a0363793f7367"},
      {a(65), "c743a45e0d2e6a95cb859adae0248435"},  {a(119), "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {a(120), "5f61c0ccad4cac44c75ff505e1f1e537"}, {a(1000000), "7707d6ae4e027c70eea2a935c2296f21"}};
  for (const auto& [message, digest] : cases) {
    for (size_t offset : {0, 3}) {
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
    EXPECT_EQ(std::vector<unsigned int>(words, words + 5), std::vector<unsigned int>(c.words, c.words + 5));
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
  const uint32_t expected = ReferenceRegister(~0u, block.data(), block.size()) ^ ~0u;
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
