#include "t_common/symbols.h"

#include <gtest/gtest.h>

namespace {

using namespace stock;

TEST(CheckSymbol, IndicesStocksAndPlates) {
  EXPECT_EQ(CheckSymbol(L"sh000001"), SymbolIndex);
  EXPECT_EQ(CheckSymbol(L"SH000001"), SymbolIndex);
  EXPECT_EQ(CheckSymbol(L"sz399001"), SymbolIndex);
  EXPECT_EQ(CheckSymbol(L"Sz399006"), SymbolIndex);
  EXPECT_EQ(CheckSymbol(L"sh000ABC"), SymbolIndex);
  EXPECT_EQ(CheckSymbol(L"sh600000"), SymbolStock);
  EXPECT_EQ(CheckSymbol(L"sz000001"), SymbolStock);  // 000 is an index only in Shanghai
  EXPECT_EQ(CheckSymbol(L"sh399001"), SymbolStock);  // 399 only in Shenzhen
  EXPECT_EQ(CheckSymbol(L"sz300750"), SymbolStock);
  EXPECT_EQ(CheckSymbol(L"sHabcdef"), SymbolStock);  // codes need not be digits
  EXPECT_EQ(CheckSymbol(L"bk123456"), SymbolPlate);
  EXPECT_EQ(CheckSymbol(L"BK999999"), SymbolPlate);
  EXPECT_EQ(CheckSymbol(L"bK000001"), SymbolPlate);
}

TEST(CheckSymbol, InvalidSymbols) {
  EXPECT_EQ(CheckSymbol(nullptr), SymbolInvalid);
  EXPECT_EQ(CheckSymbol(L""), SymbolInvalid);
  EXPECT_EQ(CheckSymbol(L"hk000001"), SymbolInvalid);
  EXPECT_EQ(CheckSymbol(L"sh00000"), SymbolInvalid);    // 7 characters
  EXPECT_EQ(CheckSymbol(L"sh0000012"), SymbolInvalid);  // 9 characters
  EXPECT_EQ(CheckSymbol(L"sh000001 "), SymbolInvalid);
  EXPECT_EQ(CheckSymbol(L" sh00001"), SymbolInvalid);
  EXPECT_EQ(CheckSymbol(L"\x017fh000001"), SymbolInvalid);  // a long s is no s
  EXPECT_EQ(CheckSymbol(L"s"), SymbolInvalid);
}

TEST(CheckIndexType, MarketOfAnIndex) {
  EXPECT_EQ(CheckIndexType(L"sh000001"), IndexSh);
  EXPECT_EQ(CheckIndexType(L"SH000300"), IndexSh);
  EXPECT_EQ(CheckIndexType(L"SZ399006"), IndexSz);
  EXPECT_EQ(CheckIndexType(L"sz399001"), IndexSz);
  EXPECT_EQ(CheckIndexType(L"sh600000"), IndexNone);
  EXPECT_EQ(CheckIndexType(L"bk100001"), IndexNone);
  EXPECT_EQ(CheckIndexType(L"sh00000"), IndexNone);
  EXPECT_EQ(CheckIndexType(nullptr), IndexNone);
}

TEST(CheckPlateType, FamilyOfABoard) {
  EXPECT_EQ(CheckPlateType(L"bk100001"), PlateBk1);
  EXPECT_EQ(CheckPlateType(L"BK300002"), PlateBk3);
  EXPECT_EQ(CheckPlateType(L"Bk1abcde"), PlateBk1);
  EXPECT_EQ(CheckPlateType(L"bk200003"), PlateNone);
  EXPECT_EQ(CheckPlateType(L"bkx00003"), PlateNone);
  EXPECT_EQ(CheckPlateType(L"sh000001"), PlateNone);
  EXPECT_EQ(CheckPlateType(L"bk10000"), PlateNone);
  EXPECT_EQ(CheckPlateType(nullptr), PlateNone);
}

TEST(ConvertStockStatus, EveryCodeAndNearMisses) {
  const struct {
    const wchar_t* code;
    int value;
  } kCodes[] = {{L"L", 0},   {L"S", 1},   {L"D", 2},   {L"U", 3},   {L"C", 4},   {L"SH", 5},  {L"SD", 6},
                {L"SC", 7},  {L"SI", 8},  {L"SF", 9},  {L"ST", 10}, {L"SR", 11}, {L"SW", 12}};
  for (const auto& entry : kCodes) {
    EXPECT_EQ(ConvertStockStatus(entry.code), entry.value) << entry.code;
    std::wstring lower(entry.code);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(c - L'A' + L'a');
    EXPECT_EQ(ConvertStockStatus(lower), StatusOther) << entry.code;
    EXPECT_EQ(ConvertStockStatus(std::wstring(entry.code) + L" "), StatusOther) << entry.code;
    EXPECT_EQ(ConvertStockStatus(std::wstring(L" ") + entry.code), StatusOther) << entry.code;
  }
  EXPECT_EQ(ConvertStockStatus(L""), 65535);
  EXPECT_EQ(ConvertStockStatus(L"Sh"), 65535);
  EXPECT_EQ(ConvertStockStatus(L"SS"), 65535);
  EXPECT_EQ(ConvertStockStatus(L"SWX"), 65535);
  EXPECT_EQ(ConvertStockStatus(std::wstring(L"S\0", 2)), 65535);
  EXPECT_EQ(static_cast<int>(StatusOther), 0xFFFF);
}

TEST(IsSupportUnusualEvent, OnlyTheShanghaiComposite) {
  EXPECT_TRUE(IsSupportUnusualEvent(L"sh000001"));
  EXPECT_TRUE(IsSupportUnusualEvent(L"SH000001"));
  EXPECT_TRUE(IsSupportUnusualEvent(L"sH000001"));
  EXPECT_FALSE(IsSupportUnusualEvent(L"sz399001"));
  EXPECT_FALSE(IsSupportUnusualEvent(L"sh000002"));
  EXPECT_FALSE(IsSupportUnusualEvent(L"sh000001 "));
  EXPECT_FALSE(IsSupportUnusualEvent(L"sh00000"));
  EXPECT_FALSE(IsSupportUnusualEvent(L""));
  EXPECT_FALSE(IsSupportUnusualEvent(nullptr));
}

}  // namespace
