#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common_sgt/Parallel.h"
#include "common_sgt/Random.h"

namespace {

// Uneven task times, so that later tasks often finish before earlier ones.
void unevenWork(int64_t task) {
  std::this_thread::sleep_for(std::chrono::microseconds((task * 7919) % 13 * 50));
}

TEST(Parallel, EmitsEveryTaskInOrderWithinTheWindow) {
  for (unsigned workers : {1u, 2u, 3u, 8u}) {
    for (size_t window : {size_t{1}, size_t{3}, size_t{32}}) {
      const int64_t count = 97;
      std::vector<int64_t> slots(window, -1);
      std::vector<int64_t> emitted;
      std::atomic<int64_t> started{0};
      std::atomic<int64_t> done{0};
      std::atomic<bool> overRun{false};
      std::atomic<bool> badWorker{false};
      const bool ok = runOrdered(
          workers, count, window,
          [&](int64_t task, unsigned worker) {
            ++started;
            if (worker >= workers) badWorker = true;
            // The window: never more than `window` tasks past the last
            // emitted one.
            if (task >= done.load() + static_cast<int64_t>(window)) overRun = true;
            unevenWork(task);
            slots[static_cast<size_t>(task % static_cast<int64_t>(window))] = task * task;
          },
          [&](int64_t task) {
            EXPECT_EQ(slots[static_cast<size_t>(task % static_cast<int64_t>(window))], task * task);
            emitted.push_back(task);
            done = task + 1;
            return true;
          });
      EXPECT_TRUE(ok);
      ASSERT_EQ(emitted.size(), static_cast<size_t>(count)) << workers << " workers, window " << window;
      for (int64_t t = 0; t < count; ++t) EXPECT_EQ(emitted[static_cast<size_t>(t)], t);
      EXPECT_EQ(started.load(), count);
      EXPECT_FALSE(overRun.load()) << workers << " workers, window " << window;
      EXPECT_FALSE(badWorker.load());
    }
  }
}

TEST(Parallel, EmitFalseStopsTheRun) {
  for (unsigned workers : {1u, 4u}) {
    std::atomic<int64_t> started{0};
    std::vector<int64_t> emitted;
    const bool ok = runOrdered(
        workers, 1000, 4, [&](int64_t, unsigned) { ++started; },
        [&](int64_t task) {
          emitted.push_back(task);
          return task < 10;
        });
    EXPECT_FALSE(ok);
    ASSERT_EQ(emitted.size(), 11u);
    EXPECT_EQ(emitted.back(), 10);
    // Only tasks inside the window of the stop were started.
    EXPECT_LE(started.load(), 11 + 4);
  }
  EXPECT_TRUE(runOrdered(3, 0, 4, [](int64_t, unsigned) { FAIL(); }, [](int64_t) { return false; }));
}

TEST(Parallel, FailureOfATaskComesBackAfterTheTasksBeforeIt) {
  for (unsigned workers : {1u, 2u, 8u}) {
    std::vector<int64_t> emitted;
    try {
      runOrdered(
          workers, 200, 16,
          [&](int64_t task, unsigned) {
            unevenWork(task);
            if (task == 37 || task == 90) throw std::runtime_error("task " + std::to_string(task));
          },
          [&](int64_t task) {
            emitted.push_back(task);
            return true;
          });
      FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "task 37");
    }
    ASSERT_EQ(emitted.size(), 37u) << workers;
    EXPECT_EQ(emitted.back(), 36);
  }
}

TEST(Parallel, ConsoleCaptureKeepsTextPerThread) {
  std::string outer, inner;
  {
    ConsoleCapture a(outer);
    consolePrintf("%d %s|", 12, "ab");
    {
      ConsoleCapture b(inner);
      consolePrintf("%s", std::string(1000, 'x').c_str());
    }
    consolePrintf("%5.2f", 3.14159);
    consoleFlush();  // captured text is not flushed anywhere
    std::string other;
    std::thread t([&] {
      // Another thread has no capture unless it makes its own.
      ConsoleCapture c(other);
      consolePrintf("worker");
    });
    t.join();
    EXPECT_EQ(other, "worker");
  }
  EXPECT_EQ(outer, "12 ab| 3.14");
  EXPECT_EQ(inner, std::string(1000, 'x'));
}

TEST(Parallel, WindowAndThreadCount) {
  EXPECT_EQ(orderedWindow(1, 0), 4u);
  EXPECT_EQ(orderedWindow(8, 1000), 32u);
  // 64 MB of 20 MB chunks: three of them, whatever the workers.
  EXPECT_EQ(orderedWindow(8, size_t{20} << 20), 3u);
  EXPECT_EQ(orderedWindow(8, size_t{16} << 20), 4u);
  EXPECT_EQ(orderedWindow(2, size_t{1} << 30), 1u);
  EXPECT_EQ(unevenWindow(2, 1 << 12), 128u);
  EXPECT_EQ(unevenWindow(8, size_t{1} << 20), 64u);
  EXPECT_EQ(resolveThreadCount(1), 1u);
  EXPECT_EQ(resolveThreadCount(300), 300u);
  EXPECT_EQ(resolveThreadCount(4294967295u), kMaxWorkers);
  const unsigned all = resolveThreadCount(0);
  EXPECT_GE(all, 1u);
  EXPECT_LE(all, std::thread::hardware_concurrency() > 0 ? std::thread::hardware_concurrency() : all);
}

TEST(Parallel, GeneratorStateBelongsToItsThread) {
  lcgSeed(5);
  const int first = lcgNext();
  lcgSeed(5);
  std::vector<int> fromWorker;
  std::thread t([&] {
    // A fresh thread starts from the default state, and seeding it leaves
    // the main thread's sequence alone.
    lcgSeed(5);
    for (int k = 0; k < 3; ++k) fromWorker.push_back(lcgNext());
  });
  t.join();
  EXPECT_EQ(lcgNext(), first);
  EXPECT_EQ(fromWorker[0], first);
}

}  // namespace
