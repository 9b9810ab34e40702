// What a tqutil command is, and the output helpers every command uses. A
// family's file defines its commands and its lines of `tqutil status`, and
// commands.h/commands.cpp list them:
//
//   extern const Command kMarketCommand = {L"market", L"market [--at \"YYYY-MM-DD HH:MM:SS\"]",
//                                          L"the market phase", &RunMarket};
//   extern const StatusSection kMarketStatus = &PrintMarketStatus;
//
// Output is plain text, one fact a line, UTF-8. Errors go to stderr with a
// non-zero exit code: 1 when the operation failed, 2 for a usage error.
#ifndef TOOLS_TQUTIL_COMMAND_H_
#define TOOLS_TQUTIL_COMMAND_H_

#include <string>
#include <vector>

namespace tqutil {

using Args = std::vector<std::wstring>;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Command {
  const wchar_t* name;
  const wchar_t* usage;    // the command line after "tqutil "
  const wchar_t* summary;  // one line for --help
  int (*run)(const Args& args);  // the arguments after the command name
};

// Prints a family's lines of `tqutil status`.
using StatusSection = void (*)();

// Writes a line to stdout in UTF-8.
void PrintLine(const std::wstring& line);
// Writes a line to stderr in UTF-8 (progress and notes), leaving stdout to results.
void PrintNote(const std::wstring& line);
// Writes "label: value".
void PrintFact(const std::wstring& label, const std::wstring& value);
// A string field of a module's version resource (L"FileVersion", L"ProductName",
// ...), read from the file the loader would pick for that name: the program's
// folder first. "(not found)", "(no version resource)" or "(none)" otherwise.
std::wstring ModuleVersionField(const wchar_t* module_name, const wchar_t* field);
// Writes "tqutil: message" to stderr and returns the exit code.
int Fail(const std::wstring& message, int exit_code = kExitFailed);
// Writes the command's usage to stderr and returns kExitUsage.
int UsageError(const Command& command);

}  // namespace tqutil

#endif  // TOOLS_TQUTIL_COMMAND_H_
