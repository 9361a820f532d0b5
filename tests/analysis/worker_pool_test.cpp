// The pool runs every part exactly once, on any number of threads, lets the
// caller work between start() and wait(), keeps several pieces of work apart,
// and hands a part's failure to the one who waits for that work.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/worker_pool.h"

namespace orthaxis::analysis {
namespace {

TEST(WorkerPool, RunsEveryPartOnceOverManyRounds) {
  for (std::size_t threads = 1; threads <= 4; ++threads) {
    WorkerPool pool(threads);
    EXPECT_EQ(pool.size(), threads);
    std::vector<int> hits(37, 0);
    for (int round = 0; round < 200; ++round) {
      const std::size_t parts = static_cast<std::size_t>(round % 38);
      pool.run(parts, [&](std::size_t k) { ++hits[k]; });
      for (std::size_t k = 0; k < hits.size(); ++k) {
        ASSERT_EQ(hits[k], k < parts ? 1 : 0) << threads << " threads, round " << round;
        hits[k] = 0;
      }
    }
  }
}

TEST(WorkerPool, SeveralPiecesOfWorkInFlightAreEachCompleteWhenWaitedFor) {
  for (std::size_t threads = 1; threads <= 4; ++threads) {
    WorkerPool pool(threads);
    std::vector<std::atomic<int>> a(50), b(7);
    WorkerPool::Handle first = pool.start(a.size(), [&](std::size_t k) { a[k].fetch_add(1); });
    WorkerPool::Handle second = pool.start(b.size(), [&](std::size_t k) { b[k].fetch_add(1); });
    int own = 0;
    for (int i = 0; i < 1000; ++i) own += i;  // the caller's own work meanwhile
    pool.wait(second);
    for (auto& x : b) EXPECT_EQ(x.load(), 1);
    pool.wait(first);
    for (auto& x : a) EXPECT_EQ(x.load(), 1);
    EXPECT_EQ(own, 499500);
    EXPECT_FALSE(first || second);
  }
}

TEST(WorkerPool, AFailingPartIsRethrownByItsWaitAndThePoolStaysUsable) {
  for (std::size_t threads = 1; threads <= 3; ++threads) {
    WorkerPool pool(threads);
    WorkerPool::Handle h = pool.start(6, [](std::size_t k) {
      if (k == 4) throw std::runtime_error("part 4");
    });
    EXPECT_THROW(pool.wait(h), std::runtime_error);
    std::atomic<int> done{0};
    pool.run(5, [&](std::size_t) { done.fetch_add(1); });
    EXPECT_EQ(done.load(), 5);
  }
}

// Helpers that ran out of work and went to sleep are woken by the next work,
// as many as it has parts: parts that each wait for all the others to start
// can only finish together.
TEST(WorkerPool, HelpersAsleepAreWokenByNewWork) {
  for (const auto& [threads, parts] : {std::pair{2, 2}, {3, 2}, {3, 3}, {4, 4}}) {
    WorkerPool pool(static_cast<std::size_t>(threads));
    for (int round = 0; round < 20; ++round) {
      std::this_thread::sleep_for(std::chrono::microseconds(300));  // past the look before sleep
      std::atomic<int> started{0};
      std::atomic<bool> alone{false};
      pool.run(static_cast<std::size_t>(parts), [&](std::size_t) {
        started.fetch_add(1);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (started.load() < parts) {
          if (std::chrono::steady_clock::now() > give_up) {
            alone = true;
            return;
          }
          std::this_thread::yield();
        }
      });
      ASSERT_FALSE(alone.load()) << threads << " threads, " << parts << " parts, round " << round;
    }
  }
}

// Work started first goes ahead of the work already queued.
TEST(WorkerPool, WorkStartedFirstIsTakenAheadOfTheQueue) {
  WorkerPool pool(1);  // no helpers: the caller takes the parts in queue order
  std::vector<char> order;
  WorkerPool::Handle later = pool.start(2, [&](std::size_t) { order.push_back('a'); });
  WorkerPool::Handle first = pool.start_first(1, [&](std::size_t) { order.push_back('b'); });
  pool.wait(later);
  EXPECT_EQ(std::string(order.begin(), order.end()), "baa");
  pool.wait(first);  // done already
}

// A caller waiting for work whose parts are all handed out takes the work
// queued after it: here the helper's part can only end once the caller has
// run the later work.
TEST(WorkerPool, AWaitingCallerTakesLaterWorkWhileAHelperFinishesItsWork) {
  WorkerPool pool(2);
  std::atomic<bool> started{false}, later_ran{false}, gave_up{false};
  WorkerPool::Handle held = pool.start(1, [&](std::size_t) {
    started = true;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!later_ran.load()) {
      if (std::chrono::steady_clock::now() > give_up) {
        gave_up = true;
        return;
      }
      std::this_thread::yield();
    }
  });
  while (!started.load()) std::this_thread::yield();  // the helper holds the only part
  WorkerPool::Handle later = pool.start(1, [&](std::size_t) { later_ran = true; });
  pool.wait(held);
  EXPECT_FALSE(gave_up.load());
  pool.wait(later);
}

TEST(WorkerPool, DestroyedWithWorkInFlightFinishesItFirst) {
  std::vector<int> hits(16, 0);
  {
    WorkerPool pool(2);
    pool.start(hits.size(), [&](std::size_t k) { hits[k] = 1; });
  }
  for (int h : hits) EXPECT_EQ(h, 1);
}

}  // namespace
}  // namespace orthaxis::analysis
