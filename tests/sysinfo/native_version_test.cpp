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

TEST(FindExportByName, AgreesWithGetProcAddressIgnoringCase) {
  for (const wchar_t* module_name : {L"ntdll.dll", L"kernel32.dll"}) {
    const HMODULE module = ::GetModuleHandleW(module_name);
    ASSERT_NE(module, nullptr);
    for (const char* name : {"RtlGetVersion", "RtlGetNtProductType", "NtClose", "memcpy", "GetProcAddress",
                             "IsWow64Process", "GetProductInfo"}) {
      EXPECT_EQ(common::FindExportByName(module, name), ::GetProcAddress(module, name)) << name;
    }
  }
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  EXPECT_NE(common::FindExportByName(ntdll, "RtlGetVersion"), nullptr);
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
  // Readable memory without PE headers, and the test program, which exports nothing.
  std::vector<unsigned char> not_a_module(4096, 0x5A);
  EXPECT_EQ(common::FindExportByName(reinterpret_cast<HMODULE>(not_a_module.data()), "RtlGetVersion"), nullptr);
  EXPECT_EQ(common::FindExportByName(::GetModuleHandleW(nullptr), "main"), nullptr);
}

// An access violation caught and what the body wrote before it kept: the
// faulting rows of QueryNativeVersion below.
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

#if defined(__i386__)
EXCEPTION_REGISTRATION_RECORD* ExceptionChainHead() {
  EXCEPTION_REGISTRATION_RECORD* head;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

int chain_handler_calls = 0;
EXCEPTION_DISPOSITION NTAPI CountingChainHandler(EXCEPTION_RECORD*, void*, CONTEXT*, void*) {
  ++chain_handler_calls;
  return ExceptionContinueSearch;
}

// The body's own frame on the x86 exception chain is abandoned with the body:
// the chain head must be back where it was, or the next exception would walk
// into a dead stack frame.
TEST(FaultGuard, FaultRestoresTheX86ExceptionChain) {
  EXCEPTION_REGISTRATION_RECORD* const before = ExceptionChainHead();
  for (int round = 0; round < 3; ++round) {
    EXPECT_FALSE(common::RunWithFaultGuard(
        [](void*) {
          EXCEPTION_REGISTRATION_RECORD record;
          record.Next = ExceptionChainHead();
          record.Handler = &CountingChainHandler;
          __asm__ volatile("movl %0, %%fs:0" : : "r"(&record) : "memory");
          WriteToUnmappedMemory();
        },
        nullptr));
    EXPECT_EQ(ExceptionChainHead(), before);
  }
  EXPECT_EQ(chain_handler_calls, 0);  // the guard answers first
  EXPECT_TRUE(common::RunWithFaultGuard([](void*) {}, nullptr));
  EXPECT_EQ(ExceptionChainHead(), before);
}
#endif

LONG WINAPI AnsweringGetVersion(OSVERSIONINFOEXW* info) {
  info->dwMajorVersion = 6;
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

struct QueryCase {
  common::NativeVersionEntryPoints entry_points;
  int result;
  DWORD major;
  BYTE product_type;  // checked when the query succeeds
};

const QueryCase kQueries[] = {
    {{&AnsweringGetVersion, &WorkstationProductType}, 1, 6, VER_NT_WORKSTATION},
    {{&AnsweringGetVersion, &RefusingProductType}, 1, 6, VER_NT_SERVER},
    {{&AnsweringGetVersion, nullptr}, 1, 6, VER_NT_SERVER},
    {{&AnsweringGetVersion, &FaultingProductType}, 1, 6, VER_NT_SERVER},  // the fault came before the store
    {{&FaultingGetVersion, &WorkstationProductType}, 0, 9, 0},  // what the query wrote before the fault stays
    {{&FailingGetVersion, &WorkstationProductType}, 0, 9, 0},
    {{nullptr, &WorkstationProductType}, 0, 0, 0},
};

TEST(QueryNativeVersion, ResultReachedBeforeAFaultOrFailureStands) {
  for (const QueryCase& c : kQueries) {
    SCOPED_TRACE(&c - kQueries);
    OSVERSIONINFOEXW info;
    std::memset(&info, 0xCC, sizeof(info));
    EXPECT_EQ(common::QueryNativeVersionWith(c.entry_points, &info), c.result);
    EXPECT_EQ(info.dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXW));
    EXPECT_EQ(info.dwMajorVersion, c.major);
    EXPECT_EQ(info.szCSDVersion[0], L'\0');  // zeroed before the query
    if (c.result) {
      EXPECT_EQ(info.wProductType, c.product_type);
    }
  }
  const common::NativeVersionEntryPoints answering = {&AnsweringGetVersion, &WorkstationProductType};
  EXPECT_EQ(common::QueryNativeVersionWith(answering, nullptr), 0);
  // A record that is not writable faults at once.
  EXPECT_EQ(common::QueryNativeVersionWith(answering, reinterpret_cast<OSVERSIONINFOEXW*>(std::uintptr_t{0x10})), 0);
}

// The record itself is compared with ntdll's in os_version_test.
TEST(QueryNativeVersion, UsesNtdllsEntryPoints) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const common::NativeVersionEntryPoints entry_points = common::NtdllVersionEntryPoints();
  EXPECT_EQ(reinterpret_cast<void*>(entry_points.get_version),
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
  EXPECT_EQ(reinterpret_cast<void*>(entry_points.get_product_type),
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetNtProductType")));
  EXPECT_EQ(common::QueryNativeVersion(nullptr), 0);
}

}  // namespace
