// Registered as a verb's command in the shell tests: appends "VERB|FILE" in
// UTF-8 to the record file, so a test sees which verb the shell ran on which file.
//   shell_recorder.exe RECORD_FILE VERB FILE
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const std::wstring line = std::wstring(argv[2]) + L"|" + argv[3] + L"\n";
  std::string utf8(line.size() * 3, '\0');
  utf8.resize(::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr, nullptr));
  FILE* record = _wfopen(argv[1], L"ab");
  if (!record) return 1;
  const bool written = std::fwrite(utf8.data(), 1, utf8.size(), record) == utf8.size();
  return std::fclose(record) == 0 && written ? 0 : 1;
}
