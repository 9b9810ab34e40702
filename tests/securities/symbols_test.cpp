#include "t_common/symbols.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using namespace stock;

TEST(CheckSymbol, IndicesStocksPlatesAndInvalidSymbols) {
  // 000 is an index only in Shanghai, 399 only in Shenzhen; codes need not be digits; a long s is no s.
  const std::pair<const wchar_t*, int> kCases[] = {
      {L"sh000001", SymbolIndex}, {L"SH000001", SymbolIndex}, {L"sz399001", SymbolIndex}, {L"Sz399006", SymbolIndex},
      {L"sh000ABC", SymbolIndex}, {L"sh600000", SymbolStock}, {L"sz000001", SymbolStock}, {L"sh399001", SymbolStock},
      {L"sz300750", SymbolStock}, {L"sHabcdef", SymbolStock}, {L"bk123456", SymbolPlate}, {L"BK999999", SymbolPlate},
      {L"bK000001", SymbolPlate}, {nullptr, SymbolInvalid}, {L"", SymbolInvalid}, {L"hk000001", SymbolInvalid},
      {L"sh00000", SymbolInvalid}, {L"sh0000012", SymbolInvalid}, {L"sh000001 ", SymbolInvalid},
      {L" sh00001", SymbolInvalid}, {L"\x017fh000001", SymbolInvalid}, {L"s", SymbolInvalid}};
  for (const auto& [symbol, type] : kCases) EXPECT_EQ(CheckSymbol(symbol), type) << (symbol ? symbol : L"null");
}

TEST(CheckSymbol, IndexAndPlateFamilies) {
  const std::pair<const wchar_t*, int> kIndices[] = {
      {L"sh000001", IndexSh}, {L"SH000300", IndexSh}, {L"SZ399006", IndexSz}, {L"sz399001", IndexSz},
      {L"sh600000", IndexNone}, {L"bk100001", IndexNone}, {L"sh00000", IndexNone}, {nullptr, IndexNone}};
  for (const auto& [symbol, type] : kIndices) EXPECT_EQ(CheckIndexType(symbol), type) << (symbol ? symbol : L"null");
  const std::pair<const wchar_t*, int> kPlates[] = {
      {L"bk100001", PlateBk1}, {L"BK300002", PlateBk3}, {L"Bk1abcde", PlateBk1}, {L"bk200003", PlateNone},
      {L"bkx00003", PlateNone}, {L"sh000001", PlateNone}, {L"bk10000", PlateNone}, {nullptr, PlateNone}};
  for (const auto& [symbol, type] : kPlates) EXPECT_EQ(CheckPlateType(symbol), type) << (symbol ? symbol : L"null");
}

TEST(ConvertStockStatus, EveryCodeAndNearMisses) {
  const std::pair<const wchar_t*, int> kCodes[] = {{L"L", 0},   {L"S", 1},   {L"D", 2},   {L"U", 3},   {L"C", 4},
                                                   {L"SH", 5},  {L"SD", 6},  {L"SC", 7},  {L"SI", 8},  {L"SF", 9},
                                                   {L"ST", 10}, {L"SR", 11}, {L"SW", 12}};
  for (const auto& [code, value] : kCodes) {
    EXPECT_EQ(ConvertStockStatus(code), value) << code;
    std::wstring lower(code);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(c - L'A' + L'a');
    for (const std::wstring& miss : {lower, std::wstring(code) + L" ", L" " + std::wstring(code)})
      EXPECT_EQ(ConvertStockStatus(miss), StatusOther) << code;
  }
  for (const std::wstring& miss : {std::wstring(), std::wstring(L"Sh"), std::wstring(L"SS"), std::wstring(L"SWX"),
                                   std::wstring(L"S\0", 2)})
    EXPECT_EQ(ConvertStockStatus(miss), 65535);
}

TEST(IsSupportUnusualEvent, OnlyTheShanghaiComposite) {
  for (const wchar_t* symbol : {L"sh000001", L"SH000001", L"sH000001"}) EXPECT_TRUE(IsSupportUnusualEvent(symbol));
  for (const wchar_t* symbol : {L"sz399001", L"sh000002", L"sh000001 ", L"sh00000", L""})
    EXPECT_FALSE(IsSupportUnusualEvent(symbol)) << symbol;
  EXPECT_FALSE(IsSupportUnusualEvent(nullptr));
}

}  // namespace
