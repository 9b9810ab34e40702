// The export walk, the fault guard and the native version query on the
// running system, compared with what the loader and ntdll say themselves.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "sysinfo/export_lookup.h"
#include "sysinfo/fault_guard.h"
#include "sysinfo/native_version.h"
#include "support/test_support.h"

namespace {

using common::RunWithFaultGuard;

// Every faulting write of the bodies below is counted right before it: a
// guard that resumes in the wrong frame runs bodies again or skips them, and
// the count tells, whatever the guard returned.
std::atomic<int> g_faulting_writes{0};
void WriteToUnmappedMemory() {
  ++g_faulting_writes;
  volatile std::uintptr_t address = 0x10;
  *reinterpret_cast<volatile int*>(address) = 1;
}

TEST(FindExportByName, FindsWhatGetProcAddressFindsIgnoringCaseAndNothingElse) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll"), kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  std::vector<unsigned char> not_a_module(4096, 0x5A);  // readable memory without PE headers
  const struct {
    HMODULE module;
    const char* name;
    const char* exported_as;  // null: nothing to find
  } kCases[] = {
      {ntdll, "RtlGetVersion", "RtlGetVersion"}, {ntdll, "NtClose", "NtClose"}, {ntdll, "memcpy", "memcpy"},
      {kernel32, "GetProcAddress", "GetProcAddress"}, {kernel32, "GetProductInfo", "GetProductInfo"},
      {ntdll, "rtlgetversion", "RtlGetVersion"}, {ntdll, "RTLGETNTPRODUCTTYPE", "RtlGetNtProductType"},
      {ntdll, "NoSuchExportAnywhere", nullptr}, {ntdll, "RtlGetVersio", nullptr},  // a prefix is no match
      {ntdll, "", nullptr}, {ntdll, nullptr, nullptr}, {nullptr, "RtlGetVersion", nullptr},
      {reinterpret_cast<HMODULE>(not_a_module.data()), "RtlGetVersion", nullptr},
      {::GetModuleHandleW(nullptr), "main", nullptr},  // the test program exports nothing
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << (&c - kCases) << ": " << (c.name ? c.name : "(null)"));
    const FARPROC expected = c.exported_as ? ::GetProcAddress(c.module, c.exported_as) : nullptr;
    if (c.exported_as) {
      ASSERT_NE(expected, nullptr);
    }
    EXPECT_EQ(common::FindExportByName(c.module, c.name), expected);
  }
}

// A C++ exception thrown and caught inside the body is not the guard's.
TEST(FaultGuard, CppExceptionsInsideTheBodyAreLeftToTheirHandlers) {
  int caught = 0;
  const auto body = [](void* context) {
    try {
      throw std::runtime_error("inside");
    } catch (const std::runtime_error&) {
      ++*static_cast<int*>(context);
    }
  };
  EXPECT_TRUE(RunWithFaultGuard(body, &caught));
  EXPECT_EQ(caught, 1);
}

TEST(FaultGuard, ThreadsFaultIndependently) {
  const int writes = g_faulting_writes;
  std::atomic<int> threads{0}, faults{0}, completions{0};
  testing_support::RunOnThreadsAtOnce(4, [&] {
    const int t = threads++;
    for (int i = 0; i < 200; ++i) {
      const bool fault = (i + t) % 2 == 0;
      const bool completed =
          RunWithFaultGuard(fault ? +[](void*) { WriteToUnmappedMemory(); } : +[](void*) {}, nullptr);
      if (completed != !fault) return;
      ++(completed ? completions : faults);
    }
  });
  EXPECT_EQ(faults.load(), 400);
  EXPECT_EQ(completions.load(), 400);
  EXPECT_EQ(g_faulting_writes - writes, 400);
}

// An inner guard's fault ends only the inner body; the outer one's own fault
// after it ends the outer body, and each guard answers for its own.
TEST(FaultGuard, NestedGuardsEachEndTheirOwnBody) {
  const int writes = g_faulting_writes;
  struct Steps {
    bool inner_completed = true;
    int reached = 0;
  } steps;
  EXPECT_FALSE(RunWithFaultGuard(
      [](void* context) {
        Steps& steps = *static_cast<Steps*>(context);
        steps.inner_completed = RunWithFaultGuard([](void*) { WriteToUnmappedMemory(); }, nullptr);
        ++steps.reached;
        WriteToUnmappedMemory();
        ++steps.reached;
      },
      &steps));
  EXPECT_FALSE(steps.inner_completed);
  EXPECT_EQ(steps.reached, 1);
  EXPECT_EQ(g_faulting_writes - writes, 2);
  EXPECT_TRUE(RunWithFaultGuard([](void*) {}, nullptr));
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
  const int writes = g_faulting_writes;
  EXCEPTION_REGISTRATION_RECORD* const before = ExceptionChainHead();
  for (int round = 0; round < 3; ++round) {
    EXPECT_FALSE(RunWithFaultGuard(
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
  EXPECT_EQ(g_faulting_writes - writes, 3);
  EXPECT_EQ(chain_handler_calls, 0);  // the guard answers first
  EXPECT_TRUE(RunWithFaultGuard([](void*) {}, nullptr));
  EXPECT_EQ(ExceptionChainHead(), before);
}
#endif

LONG WINAPI AnsweringGetVersion(OSVERSIONINFOEXW* info) { info->dwMajorVersion = 6; info->wProductType = 3; return 0; }
LONG WINAPI FailingGetVersion(OSVERSIONINFOEXW* info) { info->dwMajorVersion = 9; return LONG(0xC0000001); }
LONG WINAPI FaultingGetVersion(OSVERSIONINFOEXW* info) { info->dwMajorVersion = 9; WriteToUnmappedMemory(); return 0; }
BOOLEAN WINAPI WorkstationProductType(DWORD* type) { *type = 0x101; return TRUE; }  // only the low byte counts
BOOLEAN WINAPI RefusingProductType(DWORD* type) { *type = 2; return FALSE; }
BOOLEAN WINAPI FaultingProductType(DWORD* type) { *type = 2; WriteToUnmappedMemory(); return TRUE; }

// The result reached before a fault or failure stands; the record is zeroed first.
TEST(QueryNativeVersion, ResultReachedBeforeAFaultOrFailureStands) {
  const struct {
    common::NativeVersionEntryPoints entry_points;
    int result;
    DWORD major;
    BYTE product_type;
  } kQueries[] = {
      {{&AnsweringGetVersion, &WorkstationProductType}, 1, 6, VER_NT_WORKSTATION},
      {{&AnsweringGetVersion, &RefusingProductType}, 1, 6, VER_NT_SERVER},
      {{&AnsweringGetVersion, nullptr}, 1, 6, VER_NT_SERVER},
      {{&AnsweringGetVersion, &FaultingProductType}, 1, 6, VER_NT_SERVER},  // the fault came before the store
      {{&FaultingGetVersion, &WorkstationProductType}, 0, 9, 0},  // what the query wrote before the fault stays
      {{&FailingGetVersion, &WorkstationProductType}, 0, 9, VER_NT_WORKSTATION},
      {{nullptr, &WorkstationProductType}, 0, 0, 0},
  };
  const int writes = g_faulting_writes;
  size_t rows = 0;
  for (const auto& c : kQueries) {
    SCOPED_TRACE(&c - kQueries);
    OSVERSIONINFOEXW info;
    std::memset(&info, 0xCC, sizeof(info));
    EXPECT_EQ(common::QueryNativeVersionWith(c.entry_points, &info), c.result);
    EXPECT_EQ(info.dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXW));
    EXPECT_EQ(info.dwMajorVersion, c.major);
    EXPECT_EQ(info.szCSDVersion[0], L'\0');
    EXPECT_EQ(info.wProductType, c.product_type);
    ++rows;
  }
  EXPECT_EQ(rows, std::size(kQueries));
  EXPECT_EQ(g_faulting_writes - writes, 2);  // the two faulting rows, once each
  const common::NativeVersionEntryPoints answering = {&AnsweringGetVersion, &WorkstationProductType};
  EXPECT_EQ(common::QueryNativeVersionWith(answering, nullptr), 0);
  // A record that is not writable faults at once.
  EXPECT_EQ(common::QueryNativeVersionWith(answering, reinterpret_cast<OSVERSIONINFOEXW*>(std::uintptr_t{0x10})), 0);
  // The real record is compared with ntdll's in os_version_test.
  const common::NativeVersionEntryPoints ntdll = common::NtdllVersionEntryPoints();
  const HMODULE module = ::GetModuleHandleW(L"ntdll.dll");
  EXPECT_EQ(reinterpret_cast<void*>(ntdll.get_version),
            reinterpret_cast<void*>(::GetProcAddress(module, "RtlGetVersion")));
  EXPECT_EQ(reinterpret_cast<void*>(ntdll.get_product_type),
            reinterpret_cast<void*>(::GetProcAddress(module, "RtlGetNtProductType")));
}

}  // namespace
