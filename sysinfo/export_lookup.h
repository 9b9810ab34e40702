// Looks a function up in the export directory of a module in memory, without
// the loader: the first exported name equal to name ignoring case (_stricmp),
// its address from the image base recorded in the module's optional header.
// Null for a null module or name, a module without PE headers or without
// exported names, or a name that is absent. Forwarded exports are not followed
// (the result then points at the forwarder text).
#ifndef SYSINFO_EXPORT_LOOKUP_H_
#define SYSINFO_EXPORT_LOOKUP_H_

#include <windows.h>


namespace common {

FARPROC FindExportByName(HMODULE module, const char* name);

}  // namespace common

#endif  // SYSINFO_EXPORT_LOOKUP_H_
