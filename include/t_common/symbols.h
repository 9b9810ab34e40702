// Securities symbols: an 8-character wide text, a market prefix ("sh", "sz",
// or "bk" for sector boards, any case) and a 6-character code compared exactly
// (not required to be digits). Null, another length or another prefix is
// SymbolInvalid. Indices are "sh000..." and "sz399...". Pure functions.
#ifndef T_COMMON_SYMBOLS_H_
#define T_COMMON_SYMBOLS_H_

#include <string>

#include "t_common/export.h"

namespace stock {

enum SymbolType {
  SymbolInvalid = 0,
  SymbolIndex = 1,
  SymbolStock = 2,
  SymbolPlate = 3,
};

enum IndexType {
  IndexNone = 0,
  IndexSh = 1,
  IndexSz = 2,
};

enum PlateType {
  PlateNone = 0,
  PlateBk1 = 1,  // "bk1..."
  PlateBk3 = 2,  // "bk3..."
};

// Trading-status codes, matched exactly (case and whole text).
enum StockStatus {
  StatusL = 0,
  StatusS = 1,
  StatusD = 2,
  StatusU = 3,
  StatusC = 4,
  StatusSH = 5,
  StatusSD = 6,
  StatusSC = 7,
  StatusSI = 8,
  StatusSF = 9,
  StatusST = 10,
  StatusSR = 11,
  StatusSW = 12,
  StatusOther = 0xFFFF,
};

T_COMMON_API SymbolType CheckSymbol(const wchar_t* symbol);
T_COMMON_API IndexType CheckIndexType(const wchar_t* symbol);
T_COMMON_API PlateType CheckPlateType(const wchar_t* symbol);
T_COMMON_API StockStatus ConvertStockStatus(const std::wstring& code);
// Only "sh000001", in any case, supports unusual events.
T_COMMON_API bool IsSupportUnusualEvent(const wchar_t* symbol);

}  // namespace stock

#endif  // T_COMMON_SYMBOLS_H_
