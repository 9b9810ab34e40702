#include "t_common/market_paths.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "t_common/folders.h"

namespace {

// Under the test harness nothing else creates these folders, so "existed" is false there.
TEST(MarketPaths, LayoutUnderTheApplicationDataFolderWithNothingCreated) {
  wchar_t app_data[MAX_PATH] = {};
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, app_data), S_OK);
  const std::wstring stocks = app_data + std::wstring(L"\\Brovanta\\Tessaquill\\stocks");
  const bool stocks_existed = common::IsPathFileExisting(stocks.c_str());
  const bool k_lines_existed = common::IsPathFileExisting((stocks + L"\\K").c_str());
  EXPECT_EQ(stock::GetStockDataPath(), stocks);
  EXPECT_EQ(stock::GetKLineMetaFilePath(), stocks + L"\\K");
  EXPECT_EQ(stock::GetKLineFilePath(L"sh600000"), stocks + L"\\K\\sh600000");
  EXPECT_EQ(stock::GetKLineFilePath(L"SZ399001"), stocks + L"\\K\\SZ399001");
  EXPECT_EQ(stock::GetKLineFilePath(L""), stocks + L"\\K\\");
  EXPECT_EQ(stock::GetKLineFilePath(nullptr), stocks + L"\\K\\");
  EXPECT_EQ(common::IsPathFileExisting(stocks.c_str()), stocks_existed);
  EXPECT_EQ(common::IsPathFileExisting((stocks + L"\\K").c_str()), k_lines_existed);
}

}  // namespace
