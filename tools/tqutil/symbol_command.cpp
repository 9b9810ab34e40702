// tqutil symbol: how the library classifies securities symbols.
#include <string>

#include "command.h"
#include "t_common/market_paths.h"
#include "t_common/symbols.h"

namespace {

using namespace tqutil;

std::wstring Named(int value, const wchar_t* name) { return std::to_wstring(value) + L" (" + name + L")"; }

std::wstring SymbolTypeText(stock::SymbolType type) {
  switch (type) {
    case stock::SymbolIndex: return Named(type, L"index");
    case stock::SymbolStock: return Named(type, L"stock");
    case stock::SymbolPlate: return Named(type, L"sector board");
    case stock::SymbolInvalid: break;
  }
  return Named(type, L"invalid");
}

std::wstring IndexTypeText(stock::IndexType type) {
  switch (type) {
    case stock::IndexSh: return Named(type, L"sh");
    case stock::IndexSz: return Named(type, L"sz");
    case stock::IndexNone: break;
  }
  return Named(type, L"none");
}

std::wstring PlateTypeText(stock::PlateType type) {
  switch (type) {
    case stock::PlateBk1: return Named(type, L"bk1");
    case stock::PlateBk3: return Named(type, L"bk3");
    case stock::PlateNone: break;
  }
  return Named(type, L"none");
}

int RunSymbol(const Args& args);

const Command kSymbol = {L"symbol", L"symbol SYMBOL...",
                         L"type, index market, board family, unusual-event support and K-line file of each symbol",
                         &RunSymbol};

int RunSymbol(const Args& args) {
  if (args.empty()) return UsageError(kSymbol);
  for (const std::wstring& symbol : args) {
    const wchar_t* text = symbol.c_str();
    PrintLine(symbol + L": type " + SymbolTypeText(stock::CheckSymbol(text)) + L", index " +
              IndexTypeText(stock::CheckIndexType(text)) + L", plate " + PlateTypeText(stock::CheckPlateType(text)) +
              L", unusual events " + (stock::IsSupportUnusualEvent(text) ? L"yes" : L"no") + L", k-line file " +
              stock::GetKLineFilePath(text));
  }
  return kExitOk;
}

const bool registered = RegisterCommand(kSymbol);

}  // namespace
