#include "win/windows_bitness.h"

#include <windows.h>

#include "win/system_function.h"

namespace win {

// IsWow64Process is absent before XP SP2: such a system is 32-bit.
bool IsWow64Process() {
#if defined(_WIN64)
  return false;
#else
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);
  const auto is_wow64 = GetSystemFunction<IsWow64ProcessFunction>(L"kernel32.dll", "IsWow64Process");
  BOOL wow64 = FALSE;
  return is_wow64 && is_wow64(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

bool IsWindows64Bit() {
#if defined(_WIN64)
  // A 64-bit process runs only on 64-bit Windows.
  return true;
#else
  return IsWow64Process();
#endif
}

}  // namespace win
