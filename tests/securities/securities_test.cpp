#include <windows.h>

#include <gtest/gtest.h>

#include "support/sandbox.h"
#include "t_common/market_paths.h"
#include "t_common/symbols.h"

namespace {

using namespace stock;

// Type, index, plate and unusual-event support, one row a symbol. 000 is an
// index only in Shanghai, 399 only in Shenzhen; codes need not be digits; the
// prefix's case does not count, a long s is no s.
TEST(Symbols, TypeIndexPlateAndUnusualEventSupport) {
  const std::tuple<const wchar_t*, int, int, int, bool> rows[] = {
      {L"sH000001", SymbolIndex, IndexSh, PlateNone, true},     {L"sh000ABC", SymbolIndex, IndexSh, PlateNone, false},
      {L"SZ399006", SymbolIndex, IndexSz, PlateNone, false},    {L"sz000001", SymbolStock, IndexNone, PlateNone, false},
      {L"sh399001", SymbolStock, IndexNone, PlateNone, false},  {L"BK300002", SymbolPlate, IndexNone, PlateBk3, false},
      {L"bK1abcde", SymbolPlate, IndexNone, PlateBk1, false},   {L"bk200003", SymbolPlate, IndexNone, PlateNone, false},
      {nullptr, SymbolInvalid, IndexNone, PlateNone, false},    {L"sh00000", SymbolInvalid, IndexNone, PlateNone, false},
      {L"sh0000012", SymbolInvalid, IndexNone, PlateNone, false}, {L"\x017fh000001", SymbolInvalid, IndexNone, PlateNone, false},
      {L"sh000002", SymbolIndex, IndexSh, PlateNone, false},  // only the composite has unusual events
      {L"bk10000", SymbolInvalid, IndexNone, PlateNone, false}, {L"", SymbolInvalid, IndexNone, PlateNone, false},
  };
  for (const auto& [s, type, index, plate, unusual_event] : rows)
    EXPECT_EQ(std::make_tuple(int(CheckSymbol(s)), int(CheckIndexType(s)), int(CheckPlateType(s)), IsSupportUnusualEvent(s)),
              std::make_tuple(type, index, plate, unusual_event)) << (s ? s : L"null");
}

// The design's codes in the order of their values 0 to 12; anything else, however near, is 65535.
TEST(ConvertStockStatus, EveryCodeAndNearMisses) {
  const wchar_t* const codes[] = {L"L", L"S", L"D", L"U", L"C", L"SH", L"SD", L"SC", L"SI", L"SF", L"ST", L"SR", L"SW"};
  for (int value = 0; value < 13; ++value) EXPECT_EQ(ConvertStockStatus(codes[value]), value) << value;
  for (const std::wstring miss : {L"", L"s", L"sw", L"L ", L" S", L"Sh", L"SS", L"SWX"})
    EXPECT_EQ(ConvertStockStatus(miss), 65535) << miss.c_str();
  EXPECT_EQ(ConvertStockStatus(std::wstring(L"S\0", 2)), 65535);
}

// The test run's application-data folder is its own (test_main), and nothing is
// made in it.
TEST(MarketPaths, LayoutUnderTheApplicationDataFolderWithNothingCreated) {
  wchar_t app_data[MAX_PATH] = {};
  ASSERT_TRUE(::GetEnvironmentVariableW(L"TQ_TEST_APPDATA", app_data, MAX_PATH));
  const testing_support::SandboxWatch watch({app_data});
  const std::wstring stocks = app_data + std::wstring(L"\\Brovanta\\Tessaquill\\stocks");
  EXPECT_EQ(GetKLineFilePath(L"SZ399001"), stocks + L"\\K\\SZ399001");
  EXPECT_EQ(GetKLineFilePath(nullptr) + L"|" + GetKLineFilePath(L""), stocks + L"\\K\\|" + stocks + L"\\K\\");
  EXPECT_EQ(GetStockDataPath() + L"|" + GetKLineMetaFilePath(), stocks + L"|" + stocks + L"\\K");
  EXPECT_TRUE(watch.Unchanged());
}

}  // namespace
