// tqutil symbol: how the library classifies securities symbols.
#include <string>

#include "command.h"
#include "commands.h"
#include "t_common/market_paths.h"
#include "t_common/symbols.h"

namespace {

using namespace tqutil;

// Names by value: each enumeration runs from 0 without gaps.
const wchar_t* const kSymbolTypes[] = {L"invalid", L"index", L"stock", L"sector board"};
const wchar_t* const kIndexTypes[] = {L"none", L"sh", L"sz"};
const wchar_t* const kPlateTypes[] = {L"none", L"bk1", L"bk3"};

std::wstring Named(int value, const wchar_t* const* names) {
  return std::to_wstring(value) + L" (" + names[value] + L")";
}

int RunSymbol(const Args& args) {
  if (args.empty()) return UsageError(kSymbolCommand);
  for (const std::wstring& symbol : args) {
    const wchar_t* text = symbol.c_str();
    PrintLine(symbol + L": type " + Named(stock::CheckSymbol(text), kSymbolTypes) + L", index " +
              Named(stock::CheckIndexType(text), kIndexTypes) + L", plate " +
              Named(stock::CheckPlateType(text), kPlateTypes) +
              L", unusual events " + (stock::IsSupportUnusualEvent(text) ? L"yes" : L"no") + L", k-line file " +
              stock::GetKLineFilePath(text));
  }
  return kExitOk;
}

}  // namespace

namespace tqutil {

extern const Command kSymbolCommand = {L"symbol", L"symbol SYMBOL...",
                         L"type, index market, board family, unusual-event support and K-line file of each symbol",
                         &RunSymbol};

}  // namespace tqutil
