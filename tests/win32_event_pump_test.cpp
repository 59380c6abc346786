// The Win32 pump under Wine: posted calls, timed waits that keep dispatching, and a quit request
// that stays queued for the program's message loop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/win32/win32_event_pump.h"

namespace tovak::platform {
namespace {

using namespace std::chrono_literals;

TEST(Win32EventPump, RunsCallsPostedFromOtherThreadsOnItsOwn) {
  Win32EventPump pump;
  std::atomic<int> ranOn{0};
  std::thread poster([&] {
    EXPECT_FALSE(pump.IsWindowThread());
    pump.Post([&] { ranOn = static_cast<int>(GetCurrentThreadId()); });
  });
  poster.join();
  EXPECT_TRUE(pump.IsWindowThread());
  pump.ProcessPending();
  EXPECT_EQ(ranOn.load(), static_cast<int>(GetCurrentThreadId()));
}

TEST(Win32EventPump, WaitLastsItsTimeAndDispatchesMeanwhile) {
  Win32EventPump pump;
  std::atomic<bool> ran{false};
  std::thread poster([&] {
    std::this_thread::sleep_for(50ms);
    pump.Post([&] { ran = true; });
  });
  const auto started = std::chrono::steady_clock::now();
  pump.WaitWhileDispatching(300ms);
  const auto waited = std::chrono::steady_clock::now() - started;
  poster.join();
  EXPECT_TRUE(ran.load()) << "the call posted during the wait ran in it";
  EXPECT_GE(waited, 290ms);
}

TEST(Win32EventPump, LeavesAQuitRequestQueued) {
  Win32EventPump pump;
  bool ran = false;
  pump.Post([&] { ran = true; });
  PostQuitMessage(3);
  pump.ProcessPending();
  EXPECT_TRUE(ran);
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 3u);
}

}  // namespace
}  // namespace tovak::platform
