#include <gtest/gtest.h>

#include <thread>

#include "concurrency/event.h"
#include "concurrency/lock.h"

namespace tovak {
namespace {

TEST(Lock, IsReentrantAndTryEnterFailsForOtherThreads) {
  Lock lock(4000);
  lock.Enter();
  EXPECT_TRUE(lock.TryEnter());
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = lock.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIt);
  lock.Leave();
  lock.Leave();
  std::thread([&] {
    otherGotIt = lock.TryEnter();
    if (otherGotIt) lock.Leave();
  }).join();
  EXPECT_TRUE(otherGotIt);
}

TEST(Event, EmptyObjectRefusesEveryOperation) {
  Event event;
  EXPECT_FALSE(event.IsValid());
  EXPECT_TRUE(event.Close());
  EXPECT_FALSE(event.Set());
  EXPECT_FALSE(event.Reset());
  EXPECT_FALSE(event.Pulse());
  EXPECT_FALSE(event.Wait(0));
}

TEST(Event, CreateKeepsTheFirstHandleAndCloseAllowsANewOne) {
  Event event;
  ASSERT_TRUE(event.Create(true, false));
  auto first = event.Handle();
  EXPECT_TRUE(event.Create());
  EXPECT_EQ(event.Handle(), first);
  EXPECT_TRUE(event.Close());
  EXPECT_TRUE(event.Create());
  EXPECT_NE(event.Handle(), first);

  Event a, b;
  a.Create(false, false, "");
  b.Create(false, false, "");
  EXPECT_NE(a.Handle(), b.Handle());
}

TEST(Event, WaitObeysResetModes) {
  Event manual, automatic;
  manual.Create(true, false);
  automatic.Create(false, true);
  EXPECT_FALSE(manual.Wait(0));
  manual.Set();
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0)) << "a manual-reset event stays signalled";
  EXPECT_TRUE(automatic.Wait(0));
  EXPECT_FALSE(automatic.Wait(0)) << "an auto-reset event releases one wait";

  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    automatic.Set();
  });
  EXPECT_TRUE(automatic.Wait());
  setter.join();
}

TEST(Event, NamedEventsAreSharedAndHandleMovesOwnership) {
  Event named, opened, missing;
  ASSERT_TRUE(named.Create(true, false, "tovak-test-event"));
  ASSERT_TRUE(opened.OpenExisting("tovak-test-event"));
  opened.Set();
  EXPECT_TRUE(named.Wait(0));
  EXPECT_FALSE(missing.OpenExisting("tovak-no-such-event"));
  EXPECT_FALSE(missing.IsValid());

  auto handle = named.Handle(nullptr);
  EXPECT_FALSE(named.IsValid());
  EXPECT_TRUE(handle->Wait(0)) << "the handle given up stays open";
}

}  // namespace
}  // namespace tovak
