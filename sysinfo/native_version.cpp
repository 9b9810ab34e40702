#include "sysinfo/native_version.h"

#include <atomic>
#include <cstring>

#include "sysinfo/export_lookup.h"
#include "sysinfo/fault_guard.h"
#include "win/system_function.h"

namespace common {
namespace {

// Two threads that fill these at once store the same addresses.
std::atomic<FARPROC> g_get_version{nullptr};
std::atomic<FARPROC> g_get_product_type{nullptr};

void LookUpEntryPoints(void*) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return;
  g_get_version.store(FindExportByName(ntdll, "RtlGetVersion"), std::memory_order_relaxed);
  g_get_product_type.store(FindExportByName(ntdll, "RtlGetNtProductType"), std::memory_order_relaxed);
}

struct Query {
  const NativeVersionEntryPoints* entry_points;
  OSVERSIONINFOEXW* info;
  volatile int result;
};

void RunQuery(void* context) {
  Query& query = *static_cast<Query*>(context);
  OSVERSIONINFOEXW* info = query.info;
  std::memset(info, 0, sizeof(*info));
  info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
  if (!query.entry_points->get_version) return;
  query.result = query.entry_points->get_version(info) == 0 ? 1 : 0;
  if (!query.entry_points->get_product_type) return;
  DWORD product_type = VER_NT_WORKSTATION;
  if (query.entry_points->get_product_type(&product_type)) info->wProductType = static_cast<BYTE>(product_type);
}

}  // namespace

NativeVersionEntryPoints NtdllVersionEntryPoints() {
  if (!g_get_version.load(std::memory_order_relaxed) || !g_get_product_type.load(std::memory_order_relaxed))
    RunWithFaultGuard(&LookUpEntryPoints, nullptr);
  NativeVersionEntryPoints entry_points;
  entry_points.get_version = win::FunctionCast<decltype(entry_points.get_version)>(g_get_version.load());
  entry_points.get_product_type = win::FunctionCast<decltype(entry_points.get_product_type)>(g_get_product_type.load());
  return entry_points;
}

int QueryNativeVersionWith(const NativeVersionEntryPoints& entry_points, OSVERSIONINFOEXW* info) {
  if (!info) return 0;
  Query query{&entry_points, info, 0};
  RunWithFaultGuard(&RunQuery, &query);
  return query.result;
}

int QueryNativeVersion(OSVERSIONINFOEXW* info) {
  if (!info) return 0;
  return QueryNativeVersionWith(NtdllVersionEntryPoints(), info);
}

}  // namespace common
