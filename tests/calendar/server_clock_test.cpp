#include "t_common/server_clock.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

// Whole seconds since a tick reading taken before the sync: the most the clock may have advanced.
__int64 SecondsSince(DWORD start) { return (::GetTickCount() - start) / 1000; }

TEST(ServerClock, FreshProcessShowsTheMachineUtcClock) {
  if (!testing_support::IsChildRun()) {
    EXPECT_EQ(testing_support::RunSelfInChild("ServerClock.FreshProcessShowsTheMachineUtcClock"), 0);
    return;
  }
  const __int64 machine_before = _time64(nullptr);
  const __int64 server = common::GetCurrentServerTime();
  const __int64 machine_after = _time64(nullptr);
  // Load-time truncation and the tick counter's own second boundaries each
  // allow one second of difference.
  EXPECT_GE(server, machine_before - 2);
  EXPECT_LE(server, machine_after + 1);
}

// Any synced value is taken as is; the last one is read again a little over a second later.
TEST(ServerClock, ReadsTheSyncedTimeAndAdvancesInWholeSeconds) {
  const __int64 t = 1488765600;  // 2017-03-06 02:00:00 UTC
  DWORD start = 0;
  for (const long long synced : {0LL, -86400LL, 32503680000LL, 0x7fffffffLL + 5, t}) {
    start = ::GetTickCount();
    common::SyncServerTime(synced);
    const __int64 read = common::GetCurrentServerTime();
    EXPECT_GE(read, synced);
    EXPECT_LE(read, synced + SecondsSince(start));  // exactly the value when under a second passed
  }
  ::Sleep(1100);
  const __int64 read = common::GetCurrentServerTime();
  EXPECT_GE(read, t + 1);
  EXPECT_LE(read, t + SecondsSince(start));
  for (const unsigned long date : {20170306ul, 20161231ul}) {
    common::SyncServerTime(common::DateToTime(date, 12, 0, 0));
    EXPECT_EQ(common::GetCurrentServerDate(), date);
  }
}

// Each writer syncs to values whose two 32-bit halves both differ from every
// other writer's, so a time read half from one sync and half from another
// (possible where 64-bit stores are two, as in the 32-bit build) lands far
// from all of them.
TEST(ServerClock, ConcurrentSyncsAndReadersSeeNoTornTime) {
  constexpr int kWriters = 4, kReaders = 4;
  constexpr __int64 kStride = 0x100000001LL;
  std::atomic<bool> stop{false};
  std::atomic<int> bad_reads{0};
  std::atomic<long> reads{0};
  common::SyncServerTime(kStride);
  std::vector<std::thread> threads;
  for (int w = 1; w <= kWriters; ++w) {
    threads.emplace_back([&stop, w] {
      while (!stop.load()) common::SyncServerTime(w * kStride);
    });
  }
  for (int r = 0; r < kReaders; ++r) {
    threads.emplace_back([&] {
      while (!stop.load()) {
        const __int64 read = common::GetCurrentServerTime();
        bool matches = false;
        for (int w = 1; w <= kWriters; ++w) matches |= read >= w * kStride && read <= w * kStride + 60;
        if (!matches) ++bad_reads;
        ++reads;
      }
    });
  }
  ::Sleep(1500);
  stop = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(bad_reads.load(), 0);
  EXPECT_GT(reads.load(), 0);
}

}  // namespace
