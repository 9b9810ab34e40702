#include <windows.h>

// Loading does nothing else: process-wide objects are function-local statics,
// built on first use and destroyed at unload in reverse order of creation.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
  return TRUE;
}
