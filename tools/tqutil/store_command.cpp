// tqutil store: the settings store (the default one, or a named one with
// --store NAME), and its lines of tqutil status.
#include <windows.h>

#include "command.h"
#include "commands.h"
#include "t_common/folders.h"
#include "t_common/store.h"

namespace {

using namespace tqutil;

// Arguments each action takes after its name.
int ActionArity(const std::wstring& action) {
  if (action == L"tables") return 0;
  if (action == L"list" || action == L"drop") return 1;
  if (action == L"get" || action == L"delete") return 2;
  if (action == L"set") return 3;
  return -1;
}

int RunStore(const Args& args) {
  size_t at = 0;
  bool named = false;
  std::wstring name;
  if (!args.empty() && args[0] == L"--store") {
    if (args.size() < 2) return UsageError(kStoreCommand);
    named = true;
    name = args[1];
    at = 2;
  }
  if (at >= args.size()) return UsageError(kStoreCommand);
  const std::wstring& action = args[at];
  const Args operands(args.begin() + at + 1, args.end());
  if (ActionArity(action) != static_cast<int>(operands.size())) return UsageError(kStoreCommand);

  common::SerializeManager& store = named ? common::PersistentInstance(name) : common::SinglePersistentInstance();
  if (action == L"tables") {
    for (const std::wstring& table : store.GetTables()) PrintLine(table);
  } else if (action == L"list") {
    for (const auto& [key, value] : store.GetValues(operands[0])) PrintFact(key, value);
  } else if (action == L"get") {
    const auto values = store.GetValues(operands[0]);
    const auto found = values.find(operands[1]);
    if (found == values.end()) return Fail(L"no key \"" + operands[1] + L"\" in table \"" + operands[0] + L"\"");
    PrintLine(found->second);
  } else if (action == L"set") {
    store.SaveValue(operands[0], operands[1], operands[2]);
  } else if (action == L"delete") {
    store.DeleteKey(operands[0], operands[1]);
  } else {
    store.DeleteTable(operands[0]);
  }
  return kExitOk;
}

void PrintStoreStatus() {
  const std::wstring file = common::GetStoreFilePath(std::wstring(), false);
  if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    PrintFact(L"store file", file + L" (not created yet)");
    return;
  }
  PrintFact(L"store file", file);
  common::SerializeManager& store = common::SinglePersistentInstance();
  const std::vector<std::wstring> tables = store.GetTables();
  PrintFact(L"store tables", std::to_wstring(tables.size()));
  for (const std::wstring& table : tables)
    PrintFact(L"store table " + table, std::to_wstring(store.GetValues(table).size()) + L" keys");
}

}  // namespace

namespace tqutil {

extern const Command kStoreCommand = {L"store",
    L"store [--store NAME] tables | list TABLE | get TABLE KEY | set TABLE KEY VALUE | delete TABLE KEY | drop TABLE",
    L"the settings store: its tables, keys and values; set saves through to the file", &RunStore};
extern const StatusSection kStoreStatus = &PrintStoreStatus;

}  // namespace tqutil
