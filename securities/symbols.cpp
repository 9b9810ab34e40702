#include "t_common/symbols.h"

#include <wchar.h>

namespace stock {
namespace {

constexpr size_t kSymbolLength = 8;

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Whether text begins with the lower-case ASCII prefix, ignoring ASCII case.
// text must hold at least as many characters as the prefix.
bool StartsWithIgnoringCase(const wchar_t* text, const wchar_t* lower_prefix) {
  for (; *lower_prefix; ++text, ++lower_prefix) {
    if (AsciiLower(*text) != *lower_prefix) return false;
  }
  return true;
}

bool HasSymbolLength(const wchar_t* symbol) { return symbol && wcsnlen(symbol, kSymbolLength + 1) == kSymbolLength; }

const struct {
  const wchar_t* code;
  StockStatus status;
} kStatusCodes[] = {
    {L"L", StatusL},   {L"S", StatusS},   {L"D", StatusD},   {L"U", StatusU},   {L"C", StatusC},
    {L"SH", StatusSH}, {L"SD", StatusSD}, {L"SC", StatusSC}, {L"SI", StatusSI}, {L"SF", StatusSF},
    {L"ST", StatusST}, {L"SR", StatusSR}, {L"SW", StatusSW},
};

}  // namespace

SymbolType CheckSymbol(const wchar_t* symbol) {
  if (!HasSymbolLength(symbol)) return SymbolInvalid;
  if (StartsWithIgnoringCase(symbol, L"sh"))
    return wcsncmp(symbol + 2, L"000", 3) == 0 ? SymbolIndex : SymbolStock;
  if (StartsWithIgnoringCase(symbol, L"sz"))
    return wcsncmp(symbol + 2, L"399", 3) == 0 ? SymbolIndex : SymbolStock;
  if (StartsWithIgnoringCase(symbol, L"bk")) return SymbolPlate;
  return SymbolInvalid;
}

IndexType CheckIndexType(const wchar_t* symbol) {
  if (CheckSymbol(symbol) != SymbolIndex) return IndexNone;
  return StartsWithIgnoringCase(symbol, L"sh") ? IndexSh : IndexSz;
}

PlateType CheckPlateType(const wchar_t* symbol) {
  if (CheckSymbol(symbol) != SymbolPlate) return PlateNone;
  if (StartsWithIgnoringCase(symbol, L"bk1")) return PlateBk1;
  if (StartsWithIgnoringCase(symbol, L"bk3")) return PlateBk3;
  return PlateNone;
}

StockStatus ConvertStockStatus(const std::wstring& code) {
  for (const auto& entry : kStatusCodes) {
    if (code == entry.code) return entry.status;
  }
  return StatusOther;
}

bool IsSupportUnusualEvent(const wchar_t* symbol) {
  return HasSymbolLength(symbol) && StartsWithIgnoringCase(symbol, L"sh000001");
}

}  // namespace stock
