// The memory budget of joins run side by side: a join that would take the
// shared total over the limit waits for room; alone it always runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "marlo/LigationJoin.h"

TEST(JoinMemoryBudget, WaitsForRoomUnlessAlone) {
  JoinMemoryBudget budget(100);
  budget.acquire(150);  // alone: over the limit, still runs
  budget.release(150);
  budget.acquire(50);
  budget.acquire(50);  // exactly at the limit
  std::atomic<bool> started{false}, done{false};
  std::thread other([&] {
    started = true;
    budget.acquire(1);
    done = true;
    budget.release(1);
  });
  while (!started) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done) << "acquired beyond the limit while others ran";
  budget.release(50);
  other.join();
  EXPECT_TRUE(done);
  budget.release(50);
  // An unknown limit shares nothing out.
  JoinMemoryBudget unknown(-1);
  unknown.acquire(1LL << 40);
  unknown.acquire(1LL << 40);
  unknown.release(1LL << 40);
}
