// Stands in for the shell's pin handlers in tests: registered as the command
// of a verb, it appends "VERB|FILE" to the record file it is given, so a test
// sees which verb the shell ran on which file.
//   shell_recorder.exe RECORD_FILE VERB FILE
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
  return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  FILE* record = _wfopen(argv[1], L"ab");
  if (!record) return 1;
  const std::string line = Utf8(std::wstring(argv[2]) + L"|" + argv[3]) + "\n";
  const bool written = std::fwrite(line.data(), 1, line.size(), record) == line.size();
  return std::fclose(record) == 0 && written ? 0 : 1;
}
