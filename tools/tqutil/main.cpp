#include <cstdio>
#include <cwchar>

#include "commands.h"

namespace {

int PrintHelp() {
  using namespace tqutil;
  PrintLine(L"tqutil: what the Tessaquill common library sees on this machine.");
  PrintLine(L"");
  PrintLine(L"usage:");
  PrintLine(L"  tqutil --help");
  PrintLine(L"  tqutil --version");
  PrintLine(L"      the versions of tqutil, the library and the base library");
  for (const Command* c : AllCommands()) {
    PrintLine(std::wstring(L"  tqutil ") + c->usage);
    PrintLine(std::wstring(L"      ") + c->summary);
  }
  return kExitOk;
}

int PrintVersions() {
  using namespace tqutil;
  for (const wchar_t* module : {L"tqutil.exe", L"t_common.dll", L"t_base.dll"})
    PrintLine(std::wstring(module) + L" " + ModuleVersionField(module, L"FileVersion"));
  return kExitOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace tqutil;
  if (argc < 2) {
    PrintHelp();
    return kExitUsage;
  }
  const std::wstring name = argv[1];
  if (name == L"--help" || name == L"-h" || name == L"help") return PrintHelp();
  if (name == L"--version") return PrintVersions();
  for (const Command* c : AllCommands()) {
    if (name == c->name) return c->run(Args(argv + 2, argv + argc));
  }
  return Fail(L"unknown command \"" + name + L"\" (see tqutil --help)", kExitUsage);
}
