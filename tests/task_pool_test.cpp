#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "concurrency/task_pool.h"

namespace tovak {
namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

TEST(TaskPoolCreate, ArgumentsFollowTheAbsentVersusGivenRules) {
  {
    TaskPool pool;
    ASSERT_TRUE(pool.Create());
    EXPECT_EQ(pool.GetThreadCount(), 5);
    EXPECT_EQ(pool.GetMaxThreads(), 5);
    EXPECT_EQ(pool.GetIdleTimeout(), 10000);
    EXPECT_TRUE(pool.Pause()) << "the gate exists by default";
    EXPECT_TRUE(pool.Resume());
    EXPECT_TRUE(pool.SignalTaskDone()) << "the task-done event exists by default";
    EXPECT_FALSE(pool.Create()) << "a running pool is not started again";
    EXPECT_TRUE(pool.Close(1));
  }
  struct Case {
    std::optional<int32_t> threads, max, idle, stack;
    int32_t wantThreads, wantMax, wantIdle, wantStack;
  } cases[] = {
      {16, {}, {}, {}, 16, 16, 10000, 0}, {0, {}, {}, {}, 1, 1, 10000, 0}, {-3, 2, 50, 1, 1, 2, 100, 8192},
      {2, 1, 100, 20000, 2, 2, 100, 16384}, {1, {}, {}, 12288, 1, 1, 10000, 12288},
  };
  for (const Case& c : cases) {
    TaskPool pool;
    ASSERT_TRUE(pool.Create(c.threads, c.max, c.idle, 0, 0, c.stack, false));
    EXPECT_EQ(pool.GetThreadCount(), c.wantThreads);
    EXPECT_EQ(pool.GetMaxThreads(), c.wantMax);
    EXPECT_EQ(pool.GetIdleTimeout(), c.wantIdle);
    EXPECT_EQ(pool.GetStackSize(), c.wantStack);
    EXPECT_FALSE(pool.Pause()) << "no gate was asked for";
    EXPECT_FALSE(pool.SignalTaskDone());
    EXPECT_TRUE(pool.Close(1));
  }
  TaskPool pool;
  ASSERT_TRUE(pool.Create(1));
  for (auto [given, want] : {std::pair{1, 8192}, {20000, 16384}, {12288, 8192}, {0, 0}}) {
    EXPECT_TRUE(pool.SetStackSize(given));
    EXPECT_EQ(pool.GetStackSize(), want);
  }
  pool.Close(1);
  EXPECT_FALSE(pool.SetStackSize(8192)) << "setters act only on a running pool";
}

TEST(TaskPoolSubmit, RunsTasksInOrderWithTheirArguments) {
  TaskPool pool;
  std::mutex mutex;
  std::vector<std::pair<int32_t, int32_t>> calls;
  TaskProcedure record = [&](int32_t a, int32_t b) {
    std::lock_guard lock(mutex);
    calls.emplace_back(a, b);
  };
  EXPECT_FALSE(pool.Submit(&record, 1)) << "a closed pool queues nothing";
  ASSERT_TRUE(pool.Create(1));
  for (int32_t i = 0; i < 50; ++i) pool.Submit(&record, i, i % 2);
  pool.Submit(&record, 7);
  ASSERT_TRUE(WaitUntil([&] { return pool.IsIdle(); }));
  ASSERT_EQ(calls.size(), 51u);
  for (int32_t i = 0; i < 50; ++i) EXPECT_EQ(calls[static_cast<size_t>(i)], std::make_pair(i, i % 2));
  EXPECT_EQ(calls.back(), std::make_pair(7, 0));
  pool.Close(0);
  EXPECT_FALSE(pool.Submit(&record, 1));
}

TEST(TaskPoolIdle, NeverIdleWhileASubmittedTaskHasNotFinished) {
  TaskPool pool;
  ASSERT_TRUE(pool.Create(16));
  EXPECT_TRUE(pool.IsIdle());
  std::atomic<int> finished{0};
  TaskProcedure tiny = [&](int32_t, int32_t) { finished.fetch_add(1); };
  for (int round = 0; round < 200; ++round) {
    int before = finished.load();
    for (int i = 0; i < 20; ++i) pool.Submit(&tiny);
    while (!pool.IsIdle()) std::this_thread::yield();
    ASSERT_EQ(finished.load(), before + 20) << "idle reported with tasks unfinished in round " << round;
  }
  pool.Close(1);
}

TEST(TaskPoolClose, ModesDecideWhetherQueuedTasksRunAndWhetherTheCallerWaits) {
  struct Case {
    int32_t mode;
    bool queuedRun, waits;
  } cases[] = {{0, false, true}, {1, true, true}, {2, false, false}, {3, true, false}};
  for (const Case& c : cases) {
    std::atomic<int> ran{0};
    std::atomic<bool> release{false};
    TaskProcedure blocker = [&](int32_t, int32_t) {
      while (!release.load()) std::this_thread::sleep_for(1ms);
      ran.fetch_add(1);
    };
    TaskProcedure counted = [&](int32_t, int32_t) { ran.fetch_add(1); };
    std::atomic<int> closedCalls{0};
    {
      TaskPool pool;
      pool.SetPoolCallbacks({}, [&](int32_t) { closedCalls.fetch_add(1); });
      ASSERT_TRUE(pool.Create(2, {}, {}, {}, {}, {}, false));
      pool.Submit(&blocker);
      pool.Submit(&blocker);
      ASSERT_TRUE(WaitUntil([&] { return pool.GetBusyCount() == 2; }));
      for (int i = 0; i < 10; ++i) pool.Submit(&counted);
      std::thread releaser([&] {
        std::this_thread::sleep_for(50ms);
        release = true;
      });
      EXPECT_TRUE(pool.Close(c.mode));
      if (c.waits) {
        EXPECT_EQ(pool.GetState(), TaskPoolState::Closed) << "mode " << c.mode;
        EXPECT_EQ(closedCalls.load(), 1);
      } else {
        EXPECT_EQ(pool.GetState(), TaskPoolState::Closing) << "mode " << c.mode;
        EXPECT_FALSE(pool.Close(c.mode)) << "a second close while the first goes on";
      }
      releaser.join();
      ASSERT_TRUE(WaitUntil([&] { return pool.GetState() == TaskPoolState::Closed; }));
      EXPECT_EQ(closedCalls.load(), 1);
      EXPECT_TRUE(pool.Close()) << "closing a closed pool succeeds";
    }
    EXPECT_EQ(ran.load(), c.queuedRun ? 12 : 2) << "mode " << c.mode;
  }
}

TEST(TaskPoolGate, PauseHoldsNewTasksUntilResume) {
  TaskPool pool;
  ASSERT_TRUE(pool.Create(2));
  std::atomic<int> ran{0};
  TaskProcedure count = [&](int32_t, int32_t) { ran.fetch_add(1); };
  ASSERT_TRUE(pool.Pause());
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(pool.WaitWhilePaused(100));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);
  pool.Submit(&count);
  pool.Submit(&count);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(ran.load(), 0);
  ASSERT_TRUE(pool.Resume());
  EXPECT_TRUE(pool.WaitWhilePaused(0));
  EXPECT_TRUE(WaitUntil([&] { return ran.load() == 2; }));
  pool.Close(1);
}

TEST(TaskPoolManager, AddsWorkersUnderLoadAndLetsThemLeaveWhenIdle) {
  TaskPool pool;
  ASSERT_TRUE(pool.Create(1, 4, 100, {}, {}, {}, false));
  std::atomic<bool> release{false};
  TaskProcedure hold = [&](int32_t, int32_t) {
    while (!release.load()) std::this_thread::sleep_for(1ms);
  };
  for (int i = 0; i < 6; ++i) pool.Submit(&hold);
  EXPECT_TRUE(WaitUntil([&] { return pool.GetThreadCount() == 4; })) << pool.GetThreadCount();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(pool.GetThreadCount(), 4) << "never more than maxThreads";
  release = true;
  EXPECT_TRUE(WaitUntil([&] { return pool.IsIdle(); }));
  EXPECT_TRUE(WaitUntil([&] { return pool.GetThreadCount() == 1; })) << "added workers leave after the idle time-out";
  pool.Close(1);
}

TEST(TaskPoolCallbacks, RunnerAndThreadCallbacksAndFailedCreate) {
  std::atomic<int> started{0}, exited{0}, viaRunner{0};
  {
    TaskPool pool;
    pool.SetThreadCallbacks([&](int32_t arg) { started.fetch_add(arg); }, [&](int32_t arg) { exited.fetch_add(arg); },
                            [&](const TaskProcedure& p, int32_t a, int32_t b) {
                              viaRunner.fetch_add(1);
                              p(a, b);
                            },
                            1, 1);
    ASSERT_TRUE(pool.Create(3));
    std::atomic<int> sum{0};
    TaskProcedure add = [&](int32_t a, int32_t) { sum.fetch_add(a); };
    pool.Submit(&add, 5);
    ASSERT_TRUE(WaitUntil([&] { return pool.IsIdle(); }));
    EXPECT_EQ(sum.load(), 5);
    EXPECT_EQ(viaRunner.load(), 1);
    pool.Close(0);
  }
  EXPECT_EQ(started.load(), 3);
  EXPECT_EQ(exited.load(), 3);

  TaskPool refused;
  refused.SetPoolCallbacks([](int32_t) { return 1; });
  EXPECT_FALSE(refused.Create(2));
  EXPECT_EQ(refused.GetState(), TaskPoolState::Closed);
  EXPECT_EQ(refused.GetThreadCount(), 0);
}

TEST(TaskPoolTaskDone, PumpedWaitGivesUpAfterItsSteps) {
  TaskPool pool;
  ASSERT_TRUE(pool.Create(1));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(pool.WaitTaskDone(50, true));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 55ms) << "three 20 ms steps";
  TaskProcedure nothing = [](int32_t, int32_t) {};
  pool.Submit(&nothing);
  EXPECT_TRUE(pool.WaitTaskDone(2000));
  pool.Close(1);
  EXPECT_FALSE(pool.WaitTaskDone(0));
}

}  // namespace
}  // namespace tovak
