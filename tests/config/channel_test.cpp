#include "t_common/channel.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "sandbox.h"

namespace {

using config_testing::InCopyTest;
using config_testing::Sandbox;

// Nothing is cached, so one copy runs every case in turn.
TEST(Channel, EveryCaseInACopyOfTheProgram) {
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ready());
  EXPECT_EQ(sandbox.Run("ChannelInCopy.*"), 0);
  EXPECT_EQ(sandbox.PassedCount(), 9);
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

TEST_F(ChannelInCopy, FirstLineOnly) {
  Write("store_a\nstore_b\n");
  EXPECT_EQ(common::GetChannel(), L"store_a");
}

TEST_F(ChannelInCopy, WithoutLineFeed) {
  Write("partner42");
  EXPECT_EQ(common::GetChannel(), L"partner42");
}

TEST_F(ChannelInCopy, EmptyFileAndEmptyFirstLineAreEmptyNotUnknow) {
  Write("");
  EXPECT_EQ(common::GetChannel(), L"");
  Write("\nsecond\n");
  EXPECT_EQ(common::GetChannel(), L"");
}

TEST_F(ChannelInCopy, CarriageReturnAndLineFeedAreDropped) {
  Write("official\r\nother\r\n");
  EXPECT_EQ(common::GetChannel(), L"official");
}

TEST_F(ChannelInCopy, Utf8Name) {
  Write("\xe6\xb8\xa0\xe9\x81\x93-\xc3\xa4\n");
  EXPECT_EQ(common::GetChannel(), L"\u6e20\u9053-\u00e4");
}

TEST_F(ChannelInCopy, ByteOrderMarkStaysAsAFirstCharacter) {
  Write("\xef\xbb\xbfweb\r\n");
  EXPECT_EQ(common::GetChannel(), L"\ufeffweb");
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
