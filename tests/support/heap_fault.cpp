// Frees one heap block twice when asked to: the fault that the heap-checked
// test run has to report. Without an argument it frees the block once.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  const HANDLE heap = ::GetProcessHeap();
  void* block = ::HeapAlloc(heap, 0, 64);
  if (!block) return 1;
  ::HeapFree(heap, 0, block);
  if (argc > 1 && std::wcscmp(argv[1], L"--double-free") == 0) ::HeapFree(heap, 0, block);
  return 0;
}
