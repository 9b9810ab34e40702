#include "sysinfo/export_lookup.h"

#include <cstring>

namespace common {

FARPROC FindExportByName(HMODULE module, const char* name) {
  if (!module || !name) return nullptr;
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
  const IMAGE_OPTIONAL_HEADER& optional = nt->OptionalHeader;
  if (optional.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT) return nullptr;
  const IMAGE_DATA_DIRECTORY& directory = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.VirtualAddress == 0 || directory.Size == 0) return nullptr;

  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  const auto* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    if (_stricmp(reinterpret_cast<const char*>(base + names[i]), name) != 0) continue;
    const WORD ordinal = ordinals[i];
    if (ordinal >= exports->NumberOfFunctions) return nullptr;
    return reinterpret_cast<FARPROC>(static_cast<ULONG_PTR>(optional.ImageBase) + functions[ordinal]);
  }
  return nullptr;
}

}  // namespace common
