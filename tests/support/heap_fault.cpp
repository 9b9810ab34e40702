// Does one wrong thing when asked to: frees a heap block twice (the fault
// that the heap-checked test run has to report) or crashes (which the harness
// has to let end at once). Without an argument it frees the block once.
#include <windows.h>

#include <cstdint>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  const HANDLE heap = ::GetProcessHeap();
  void* block = ::HeapAlloc(heap, 0, 64);
  if (!block) return 1;
  ::HeapFree(heap, 0, block);
  if (argc > 1 && std::wcscmp(argv[1], L"--double-free") == 0) ::HeapFree(heap, 0, block);
  if (argc > 1 && std::wcscmp(argv[1], L"--crash") == 0) {
    volatile std::uintptr_t address = 0x10;
    *reinterpret_cast<volatile int*>(address) = 1;
  }
  return 0;
}
