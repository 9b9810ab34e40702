/// @file
/// Where the client keeps local market data: `<roaming application data>
/// \Brovanta\Tessaquill\stocks`, K-line series under its "K" folder, one file
/// per symbol named as given. Text only: nothing is created or opened. When the
/// application-data folder is unknown the data folder is empty and the others
/// begin with `"\K"`.
#ifndef T_COMMON_MARKET_PATHS_H_
#define T_COMMON_MARKET_PATHS_H_

#include <string>

#include "t_common/export.h"

namespace stock {

/// The market-data folder, `...\stocks`.
T_COMMON_API std::wstring GetStockDataPath();
/// The K-line folder, `...\stocks\K`.
T_COMMON_API std::wstring GetKLineMetaFilePath();
/// The K-line file of a symbol. A null symbol is taken as empty: the K-line folder with a trailing backslash.
T_COMMON_API std::wstring GetKLineFilePath(const wchar_t* symbol);

}  // namespace stock

#endif  // T_COMMON_MARKET_PATHS_H_
