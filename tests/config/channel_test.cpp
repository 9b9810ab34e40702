#include "t_common/channel.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "sandbox.h"

namespace {

using config_testing::InSandboxTest;

// Nothing is cached, so one sandbox runs every case in turn.
TEST(Channel, EveryCaseInASandbox) {
  config_testing::Sandbox sandbox;
  EXPECT_EQ(sandbox.Run("ChannelInSandbox.*"), 0);
  EXPECT_EQ(sandbox.PassedCount(), 1);
}

class ChannelInSandbox : public InSandboxTest {};

// The file is read again on every call: each case follows the one before.
TEST_F(ChannelInSandbox, FirstLineOfTheFileOrUnknow) {
  const std::wstring channel_file = OwnFile(L".channel");
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
  ::RemoveDirectoryW(channel_file.c_str());
}

}  // namespace
