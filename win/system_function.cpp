#include "win/system_function.h"

namespace win {

FARPROC GetSystemFunctionAddress(const wchar_t* module, const char* name) {
  if (!module || !name) return nullptr;
  HMODULE handle = ::GetModuleHandleW(module);
  if (!handle) handle = ::LoadLibraryW(module);
  return handle ? ::GetProcAddress(handle, name) : nullptr;
}

}  // namespace win
