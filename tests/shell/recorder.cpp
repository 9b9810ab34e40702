// Registered as a verb's command in the shell tests: appends "VERB|FILE" in
// UTF-16 to the record file, so a test sees which verb the shell ran on which file.
//   shell_recorder.exe RECORD_FILE VERB FILE
#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  FILE* record = argc == 4 ? _wfopen(argv[1], L"ab") : nullptr;
  if (!record) return 1;
  const bool written = std::fwprintf(record, L"%ls|%ls\n", argv[2], argv[3]) > 0;
  return std::fclose(record) == 0 && written ? 0 : 1;
}
