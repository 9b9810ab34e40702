#include "t_common/channel.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "sandbox.h"

namespace {

using config_testing::InCopyTest;
using config_testing::Sandbox;

// Nothing is cached, so one copy runs every case in turn.
TEST(Channel, EveryCaseInACopyOfTheProgram) {
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ready());
  EXPECT_EQ(sandbox.Run("ChannelInCopy.*"), 0);
  EXPECT_EQ(sandbox.PassedCount(), 4);
}

class ChannelInCopy : public InCopyTest {
 protected:
  void SetUp() override {
    InCopyTest::SetUp();
    ::DeleteFileW(Channel().c_str());
  }
  static std::wstring Channel() { return OwnFile(L".channel"); }
  static void Write(const std::string& bytes) { ASSERT_TRUE(testing_support::WriteBytes(Channel(), bytes)); }
};

TEST_F(ChannelInCopy, NoFileIsUnknow) { EXPECT_EQ(common::GetChannel(), L"unknow"); }

TEST_F(ChannelInCopy, FirstLineOfTheFile) {
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
    Write(bytes);
    EXPECT_EQ(common::GetChannel(), channel) << bytes;
  }
}

TEST_F(ChannelInCopy, ReadAgainOnEveryCall) {
  Write("first");
  EXPECT_EQ(common::GetChannel(), L"first");
  Write("second");
  EXPECT_EQ(common::GetChannel(), L"second");
  ASSERT_TRUE(::DeleteFileW(Channel().c_str()));
  EXPECT_EQ(common::GetChannel(), L"unknow");
}

TEST_F(ChannelInCopy, FolderNamedChannelIsUnknow) {
  ASSERT_TRUE(::CreateDirectoryW(Channel().c_str(), nullptr));
  EXPECT_EQ(common::GetChannel(), L"unknow");
  ::RemoveDirectoryW(Channel().c_str());
}

}  // namespace
