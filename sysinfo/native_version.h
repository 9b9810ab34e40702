// The version record as ntdll knows it (RtlGetVersion, with the product type
// of RtlGetNtProductType), which compatibility shims of GetVersionEx do not
// touch. Returns nonzero on success; the record is zeroed, its size field 284.
// A fault inside the native calls ends the query with the result reached so
// far: 0 until RtlGetVersion has answered, its answer afterwards.
#ifndef SYSINFO_NATIVE_VERSION_H_
#define SYSINFO_NATIVE_VERSION_H_

#include <windows.h>


namespace common {

struct NativeVersionEntryPoints {
  LONG(WINAPI* get_version)(OSVERSIONINFOEXW* info);      // RtlGetVersion, status 0 = success
  BOOLEAN(WINAPI* get_product_type)(DWORD* product_type);  // RtlGetNtProductType
};

// ntdll's entry points, looked up once and kept (members null when absent).
NativeVersionEntryPoints NtdllVersionEntryPoints();

int QueryNativeVersion(OSVERSIONINFOEXW* info);
int QueryNativeVersionWith(const NativeVersionEntryPoints& entry_points, OSVERSIONINFOEXW* info);

}  // namespace common

#endif  // SYSINFO_NATIVE_VERSION_H_
