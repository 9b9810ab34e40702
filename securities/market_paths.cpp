#include "t_common/market_paths.h"

#include <windows.h>

#include "foundation/product_names.h"
#include "t_common/folders.h"

namespace stock {

std::wstring GetStockDataPath() {
  wchar_t app_data[MAX_PATH] = {};
  if (!common::GetAppDataDir(app_data, MAX_PATH, nullptr)) return std::wstring();
  return std::wstring(app_data) + L"\\" TQ_DATA_FOLDER L"\\stocks";
}

std::wstring GetKLineMetaFilePath() { return GetStockDataPath() + L"\\K"; }

std::wstring GetKLineFilePath(const wchar_t* symbol) {
  return GetKLineMetaFilePath() + L"\\" + (symbol ? symbol : L"");
}

}  // namespace stock
