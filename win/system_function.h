// Functions of system modules that not every Windows version has
// (GetNativeSystemInfo, IsWow64Process, GetProductInfo, ...), looked up by
// module and name at run time.
//
//   using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);
//   if (auto is_wow64 = win::GetSystemFunction<IsWow64ProcessFunction>(L"kernel32.dll", "IsWow64Process")) ...
#ifndef WIN_SYSTEM_FUNCTION_H_
#define WIN_SYSTEM_FUNCTION_H_

#include <windows.h>

namespace win {

// An address as the function type it really has.
template <typename Function>
Function FunctionCast(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

// The exported function, or null when the module or the name is absent. A
// module that is not loaded yet is loaded and stays loaded for the process's
// life, as system modules do.
FARPROC GetSystemFunctionAddress(const wchar_t* module, const char* name);

template <typename Function>
Function GetSystemFunction(const wchar_t* module, const char* name) {
  return FunctionCast<Function>(GetSystemFunctionAddress(module, name));
}

}  // namespace win

#endif  // WIN_SYSTEM_FUNCTION_H_
