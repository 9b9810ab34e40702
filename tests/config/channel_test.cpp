#include "t_common/channel.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "foundation/executable_path_override.h"
#include "support/test_support.h"

namespace {

// Nothing is cached: each case follows the one before in the same process.
TEST(Channel, FirstLineOfTheFileOrUnknow) {
  const testing_support::ScopedTempDir folder;
  const common::ScopedExecutablePathOverride executable(folder.Child(L"client.exe"));
  const std::wstring channel_file = folder.Child(L".channel");
  EXPECT_EQ(common::GetChannel(), L"unknow");
  const std::pair<std::string, std::wstring> cases[] = {
      {"store_a\nstore_b\n", L"store_a"},
      {"partner42", L"partner42"},
      {"", L""},  // an empty file or first line is a channel, not "unknow"
      {"\nsecond\n", L""},
      {"official\r\nother\r\n", L"official"},
      {"\xe6\xb8\xa0\xe9\x81\x93-\xc3\xa4\n", L"\u6e20\u9053-\u00e4"},
      {"\xef\xbb\xbfweb\r\n", L"\ufeffweb"},  // the byte-order mark stays
  };
  for (const auto& [bytes, channel] : cases) {
    ASSERT_TRUE(testing_support::WriteBytes(channel_file, bytes));
    EXPECT_EQ(common::GetChannel(), channel) << bytes;
  }
  ASSERT_TRUE(::DeleteFileW(channel_file.c_str()));
  EXPECT_EQ(common::GetChannel(), L"unknow");
  ASSERT_TRUE(::CreateDirectoryW(channel_file.c_str(), nullptr));
  EXPECT_EQ(common::GetChannel(), L"unknow");  // a folder of that name
}

}  // namespace
