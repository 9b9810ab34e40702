#include "t_common/server_clock.h"

#include <windows.h>

#include <atomic>

namespace common {
namespace {

// One synchronisation: the server's time and the tick count taken right after.
// `version` is odd while the slot is being written and grows by 2 per write.
struct ClockSlot {
  std::atomic<unsigned> version{0};
  std::atomic<__int64> base_time{0};
  std::atomic<DWORD> tick_base{0};
};

// A sync fills the slot readers are not pointed at and then publishes it, so a
// reader never waits for a sync in progress: it only retries when a second
// sync reused its slot while it was reading.
ClockSlot g_slots[2];
// -1 until the first sync: the clock then answers from the machine's clock.
std::atomic<int> g_published{-1};
// Syncs take turns; readers never look at this.
std::atomic_flag g_sync_running = ATOMIC_FLAG_INIT;

__int64 MachineUtcSeconds() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER units;
  units.LowPart = now.dwLowDateTime;
  units.HighPart = now.dwHighDateTime;
  const unsigned __int64 kUnitsFrom1601To1970 = 116444736000000000ULL;
  return static_cast<__int64>((units.QuadPart - kUnitsFrom1601To1970) / 10000000ULL);
}

}  // namespace

void SyncServerTime(__int64 server_time) {
  while (g_sync_running.test_and_set(std::memory_order_acquire)) ::SwitchToThread();
  const int target = g_published.load(std::memory_order_relaxed) == 0 ? 1 : 0;
  ClockSlot& slot = g_slots[target];
  const unsigned version = slot.version.load(std::memory_order_relaxed);
  slot.version.store(version + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  slot.base_time.store(server_time, std::memory_order_relaxed);
  slot.tick_base.store(::GetTickCount(), std::memory_order_relaxed);
  slot.version.store(version + 2, std::memory_order_release);
  g_published.store(target, std::memory_order_release);
  g_sync_running.clear(std::memory_order_release);
}

__int64 GetCurrentServerTime() {
  for (;;) {
    const int published = g_published.load(std::memory_order_acquire);
    if (published < 0) return MachineUtcSeconds();
    const ClockSlot& slot = g_slots[published];
    const unsigned version = slot.version.load(std::memory_order_acquire);
    if (version & 1) continue;  // reused by a later sync, which is published by now
    const __int64 base_time = slot.base_time.load(std::memory_order_relaxed);
    const DWORD tick_base = slot.tick_base.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot.version.load(std::memory_order_relaxed) != version) continue;
    // Unsigned 32-bit difference: one wrap of the tick counter is absorbed.
    const DWORD elapsed_ms = ::GetTickCount() - tick_base;
    return base_time + elapsed_ms / 1000;
  }
}

unsigned long GetCurrentServerDate() { return TimeToDate(GetCurrentServerTime()); }

}  // namespace common
