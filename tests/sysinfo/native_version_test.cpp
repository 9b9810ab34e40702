// The export walk, the fault guard and the native version query on the
// running system, compared with what the loader and ntdll say themselves.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "sysinfo/export_lookup.h"
#include "sysinfo/fault_guard.h"
#include "sysinfo/native_version.h"

namespace {

void WriteToUnmappedMemory() {
  volatile std::uintptr_t address = 0x10;
  *reinterpret_cast<volatile int*>(address) = 1;
}

TEST(FindExportByName, AgreesWithGetProcAddress) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(ntdll, nullptr);
  ASSERT_NE(kernel32, nullptr);
  for (const char* name : {"RtlGetVersion", "RtlGetNtProductType", "NtClose", "RtlAllocateHeap", "memcpy"}) {
    EXPECT_EQ(common::FindExportByName(ntdll, name), ::GetProcAddress(ntdll, name)) << name;
    EXPECT_NE(common::FindExportByName(ntdll, name), nullptr) << name;
  }
  for (const char* name : {"GetModuleHandleW", "GetProcAddress", "LoadLibraryW", "IsWow64Process",
                           "GetNativeSystemInfo", "GetProductInfo", "GetVersionExW"}) {
    EXPECT_EQ(common::FindExportByName(kernel32, name), ::GetProcAddress(kernel32, name)) << name;
  }
}

TEST(FindExportByName, IgnoresCase) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  EXPECT_EQ(common::FindExportByName(ntdll, "rtlgetversion"), ::GetProcAddress(ntdll, "RtlGetVersion"));
  EXPECT_EQ(common::FindExportByName(ntdll, "RTLGETNTPRODUCTTYPE"), ::GetProcAddress(ntdll, "RtlGetNtProductType"));
}

TEST(FindExportByName, AbsentNamesAndBadModulesGiveNull) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  EXPECT_EQ(common::FindExportByName(ntdll, "NoSuchExportAnywhere"), nullptr);
  EXPECT_EQ(common::FindExportByName(ntdll, "RtlGetVersio"), nullptr);  // a prefix is not a match
  EXPECT_EQ(common::FindExportByName(ntdll, ""), nullptr);
  EXPECT_EQ(common::FindExportByName(ntdll, nullptr), nullptr);
  EXPECT_EQ(common::FindExportByName(nullptr, "RtlGetVersion"), nullptr);
  // Readable memory that is no module: no PE headers.
  std::vector<unsigned char> not_a_module(4096, 0x5A);
  EXPECT_EQ(common::FindExportByName(reinterpret_cast<HMODULE>(not_a_module.data()), "RtlGetVersion"), nullptr);
}

TEST(FindExportByName, ModuleWithoutExportsGivesNull) {
  // The test program itself exports nothing.
  const HMODULE self = ::GetModuleHandleW(nullptr);
  EXPECT_EQ(common::FindExportByName(self, "main"), nullptr);
}

TEST(FaultGuard, CompletedBodyReturnsTrue) {
  int calls = 0;
  EXPECT_TRUE(common::RunWithFaultGuard([](void* context) { ++*static_cast<int*>(context); }, &calls));
  EXPECT_EQ(calls, 1);
}

struct Progress {
  volatile int before = 0;
  volatile int after = 0;
};

TEST(FaultGuard, AccessViolationEndsTheBodyAndKeepsItsProgress) {
  Progress progress;
  EXPECT_FALSE(common::RunWithFaultGuard(
      [](void* context) {
        auto* p = static_cast<Progress*>(context);
        p->before = 1;
        WriteToUnmappedMemory();
        p->after = 1;
      },
      &progress));
  EXPECT_EQ(progress.before, 1);
  EXPECT_EQ(progress.after, 0);
}

TEST(FaultGuard, IllegalInstructionAndDivisionByZeroAreCaught) {
  EXPECT_FALSE(common::RunWithFaultGuard([](void*) { __builtin_trap(); }, nullptr));
  volatile int zero = 0;
  EXPECT_FALSE(common::RunWithFaultGuard(
      [](void* context) {
        volatile int* divisor = static_cast<volatile int*>(context);
        volatile int result = 10 / *divisor;
        (void)result;
      },
      const_cast<int*>(&zero)));
}

TEST(FaultGuard, NestedGuardsEachCatchTheirOwnFault) {
  Progress outer;
  EXPECT_TRUE(common::RunWithFaultGuard(
      [](void* context) {
        auto* p = static_cast<Progress*>(context);
        p->before = common::RunWithFaultGuard([](void*) { WriteToUnmappedMemory(); }, nullptr) ? 2 : 1;
        p->after = 1;
      },
      &outer));
  EXPECT_EQ(outer.before, 1);  // the inner guard reported its fault
  EXPECT_EQ(outer.after, 1);   // and the outer body went on

  Progress second;
  EXPECT_FALSE(common::RunWithFaultGuard(
      [](void* context) {
        auto* p = static_cast<Progress*>(context);
        p->before = common::RunWithFaultGuard([](void*) {}, nullptr) ? 1 : 2;
        WriteToUnmappedMemory();
        p->after = 1;
      },
      &second));
  EXPECT_EQ(second.before, 1);
  EXPECT_EQ(second.after, 0);
}

TEST(FaultGuard, CppExceptionsInsideTheBodyAreLeftToTheirHandlers) {
  int caught = 0;
  EXPECT_TRUE(common::RunWithFaultGuard(
      [](void* context) {
        try {
          throw std::runtime_error("inside");
        } catch (const std::runtime_error&) {
          ++*static_cast<int*>(context);
        }
      },
      &caught));
  EXPECT_EQ(caught, 1);
}

TEST(FaultGuard, ThreadsFaultIndependently) {
  std::atomic<int> faults{0}, completions{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const bool fault = (i + t) % 2 == 0;
        const bool completed = common::RunWithFaultGuard(
            fault ? +[](void*) { WriteToUnmappedMemory(); } : +[](void*) {}, nullptr);
        if (completed != !fault) return;
        ++(completed ? completions : faults);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(faults.load(), 400);
  EXPECT_EQ(completions.load(), 400);
}

LONG WINAPI FakeGetVersion(OSVERSIONINFOEXW* info) {
  info->dwMajorVersion = 6;
  info->dwMinorVersion = 1;
  info->dwBuildNumber = 7601;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  info->wProductType = VER_NT_SERVER;
  return 0;
}
LONG WINAPI FailingGetVersion(OSVERSIONINFOEXW* info) {
  info->dwMajorVersion = 9;
  return static_cast<LONG>(0xC0000001);
}
LONG WINAPI FaultingGetVersion(OSVERSIONINFOEXW* info) {
  info->dwMajorVersion = 9;
  WriteToUnmappedMemory();
  return 0;
}
BOOLEAN WINAPI WorkstationProductType(DWORD* type) {
  *type = 0x101;  // only the low byte counts
  return TRUE;
}
BOOLEAN WINAPI RefusingProductType(DWORD* type) {
  *type = 2;
  return FALSE;
}
BOOLEAN WINAPI FaultingProductType(DWORD* type) {
  *type = 2;
  WriteToUnmappedMemory();
  return TRUE;
}

TEST(QueryNativeVersion, ProductTypeComesFromItsOwnEntryPointWhenItAnswers) {
  OSVERSIONINFOEXW info;
  std::memset(&info, 0xCC, sizeof(info));
  EXPECT_EQ(common::QueryNativeVersionWith({&FakeGetVersion, &WorkstationProductType}, &info), 1);
  EXPECT_EQ(info.dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXW));
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
  EXPECT_EQ(info.szCSDVersion[0], L'\0');  // zeroed before the query
  EXPECT_EQ(info.wSuiteMask, 0);

  EXPECT_EQ(common::QueryNativeVersionWith({&FakeGetVersion, &RefusingProductType}, &info), 1);
  EXPECT_EQ(info.wProductType, VER_NT_SERVER);
  EXPECT_EQ(common::QueryNativeVersionWith({&FakeGetVersion, nullptr}, &info), 1);
  EXPECT_EQ(info.wProductType, VER_NT_SERVER);
}

TEST(QueryNativeVersion, FaultsEndTheQueryWithTheResultReachedSoFar) {
  OSVERSIONINFOEXW info;
  EXPECT_EQ(common::QueryNativeVersionWith({&FakeGetVersion, &FaultingProductType}, &info), 1);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.wProductType, VER_NT_SERVER);  // the faulting call never stored its type
  EXPECT_EQ(common::QueryNativeVersionWith({&FaultingGetVersion, &WorkstationProductType}, &info), 0);
  EXPECT_EQ(info.dwMajorVersion, 9u);
  EXPECT_EQ(common::QueryNativeVersionWith({&FailingGetVersion, &WorkstationProductType}, &info), 0);
  EXPECT_EQ(common::QueryNativeVersionWith({nullptr, &WorkstationProductType}, &info), 0);
  EXPECT_EQ(info.dwMajorVersion, 0u);
  EXPECT_EQ(common::QueryNativeVersionWith({&FakeGetVersion, &WorkstationProductType}, nullptr), 0);
  // A record that is not writable faults at once.
  EXPECT_EQ(common::QueryNativeVersionWith({&FakeGetVersion, &WorkstationProductType},
                                           reinterpret_cast<OSVERSIONINFOEXW*>(std::uintptr_t{0x10})),
            0);
}

TEST(QueryNativeVersion, MatchesNtdllCalledDirectly) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto get_version = common::FunctionCast<LONG(WINAPI*)(OSVERSIONINFOEXW*)>(
      ::GetProcAddress(ntdll, "RtlGetVersion"));
  const auto get_product_type =
      common::FunctionCast<BOOLEAN(WINAPI*)(DWORD*)>(::GetProcAddress(ntdll, "RtlGetNtProductType"));
  OSVERSIONINFOEXW expected = {};
  expected.dwOSVersionInfoSize = sizeof(expected);
  ASSERT_EQ(get_version(&expected), 0);
  DWORD product_type = 1;
  ASSERT_TRUE(get_product_type(&product_type));
  expected.wProductType = static_cast<BYTE>(product_type);

  const common::NativeVersionEntryPoints entry_points = common::NtdllVersionEntryPoints();
  EXPECT_EQ(reinterpret_cast<void*>(entry_points.get_version), reinterpret_cast<void*>(get_version));
  OSVERSIONINFOEXW info;
  std::memset(&info, 0xCC, sizeof(info));
  ASSERT_EQ(common::QueryNativeVersion(&info), 1);
  EXPECT_EQ(std::memcmp(&info, &expected, sizeof(info)), 0);
  EXPECT_EQ(common::QueryNativeVersion(nullptr), 0);
}

}  // namespace
