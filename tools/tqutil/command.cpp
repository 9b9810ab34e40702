#include "command.h"

#include <cstdio>

#include "t_common/text.h"

namespace tqutil {

static void WriteUtf8(FILE* stream, const std::wstring& text) {
  const std::string bytes = common::ws2s(text + L"\n", 65001);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

void PrintLine(const std::wstring& line) { WriteUtf8(stdout, line); }

void PrintNote(const std::wstring& line) {
  std::fflush(stdout);
  WriteUtf8(stderr, line);
}

void PrintFact(const std::wstring& label, const std::wstring& value) { PrintLine(label + L": " + value); }

int Fail(const std::wstring& message, int exit_code) {
  std::fflush(stdout);
  WriteUtf8(stderr, L"tqutil: " + message);
  return exit_code;
}

int UsageError(const Command& command) {
  return Fail(std::wstring(L"usage: tqutil ") + command.usage, kExitUsage);
}

}  // namespace tqutil
