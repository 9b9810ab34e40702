// tqutil expand: configured paths with placeholders as this machine reads them.
#include <string>

#include "command.h"
#include "commands.h"
#include "t_common/path_placeholders.h"

namespace {

using namespace tqutil;

int RunExpand(const Args& args) {
  bool data_from_shell = false;
  bool x86_program_files = false;
  size_t first = 0;
  for (; first < args.size(); ++first) {
    if (args[first] == L"--shell-data") {
      data_from_shell = true;
    } else if (args[first] == L"--x86") {
      x86_program_files = true;
    } else {
      break;
    }
  }
  if (first == args.size()) return UsageError(kExpandCommand);
  for (size_t i = first; i < args.size(); ++i) {
    std::wstring path = args[i];
    common::EnvironmentPathConver(path, data_from_shell, x86_program_files);
    PrintLine(path);
  }
  return kExitOk;
}

}  // namespace

namespace tqutil {

extern const Command kExpandCommand = {L"expand", L"expand [--shell-data] [--x86] PATH...",
                         L"each path with its placeholder converted (^%257%, ^%258%, %firefox%, %VAR%)", &RunExpand};

}  // namespace tqutil
