/// @file
/// Securities symbols: an 8-character wide text, a market prefix ("sh", "sz",
/// or "bk" for sector boards, any case) and a 6-character code compared exactly
/// (not required to be digits). Null, another length or another prefix is
/// SymbolInvalid. Indices are "sh000..." and "sz399...". Pure functions.
#ifndef T_COMMON_SYMBOLS_H_
#define T_COMMON_SYMBOLS_H_

#include <string>

#include "t_common/export.h"

namespace stock {

/// What a symbol names.
enum SymbolType {
  SymbolInvalid = 0,  ///< not a symbol of the three markets
  SymbolIndex = 1,    ///< an index, "sh000..." or "sz399..."
  SymbolStock = 2,    ///< another "sh" or "sz" symbol
  SymbolPlate = 3,    ///< a sector board, "bk..."
};

/// The market of an index.
enum IndexType {
  IndexNone = 0,  ///< not an index
  IndexSh = 1,    ///< "sh000..."
  IndexSz = 2,    ///< "sz399..."
};

/// The kind of a sector board.
enum PlateType {
  PlateNone = 0,  ///< not one of the two
  PlateBk1 = 1,  ///< "bk1..."
  PlateBk3 = 2,  ///< "bk3..."
};

/// Trading-status codes, matched exactly (case and whole text).
enum StockStatus {
  StatusL = 0,  ///< "L"
  StatusS = 1,  ///< "S"
  StatusD = 2,  ///< "D"
  StatusU = 3,  ///< "U"
  StatusC = 4,  ///< "C"
  StatusSH = 5,  ///< "SH"
  StatusSD = 6,  ///< "SD"
  StatusSC = 7,  ///< "SC"
  StatusSI = 8,  ///< "SI"
  StatusSF = 9,  ///< "SF"
  StatusST = 10,  ///< "ST"
  StatusSR = 11,  ///< "SR"
  StatusSW = 12,  ///< "SW"
  StatusOther = 0xFFFF,  ///< any other code
};

/// What the symbol names.
T_COMMON_API SymbolType CheckSymbol(const wchar_t* symbol);
/// The index market of the symbol; IndexNone for anything but an index.
T_COMMON_API IndexType CheckIndexType(const wchar_t* symbol);
/// The board kind of the symbol; PlateNone for anything else.
T_COMMON_API PlateType CheckPlateType(const wchar_t* symbol);
/// The status of a code; StatusOther for any other text.
T_COMMON_API StockStatus ConvertStockStatus(const std::wstring& code);
/// Only "sh000001", in any case, supports unusual events.
T_COMMON_API bool IsSupportUnusualEvent(const wchar_t* symbol);

}  // namespace stock

#endif  // T_COMMON_SYMBOLS_H_
