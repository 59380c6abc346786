#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "concurrency/handle_table.h"
#include "concurrency/record_queue.h"

namespace tovak {
namespace {

using namespace std::chrono_literals;

TEST(HandleTable, HandsOutPositionNumbersAndReusesFreedEntries) {
  HandleTable table;
  EXPECT_EQ(table.Add(1, 0), 8u);
  EXPECT_EQ(table.Add(2, 0), 44u);
  for (int i = 3; i <= 1000; ++i) table.Add(static_cast<HandleTable::Value>(i), 0);
  EXPECT_EQ(table.Add(1001, 0), 65544u) << "the 1001st entry opens page 1";

  EXPECT_TRUE(table.Remove(44));
  EXPECT_FALSE(table.Remove(44));
  HandleTable::Value a = 9, b = 9;
  EXPECT_FALSE(table.Acquire(44, a, b));
  EXPECT_EQ(table.Add(77, 78), 44u) << "the lowest free slot of the lowest page";
  ASSERT_TRUE(table.Acquire(44, a, b));
  EXPECT_EQ(a, 77u);
  EXPECT_EQ(b, 78u);
  table.Release(44, 5);
  ASSERT_TRUE(table.Acquire(44, a, b));
  EXPECT_EQ(a, 5u);
  EXPECT_EQ(b, 78u);
  table.Release(44);
}

TEST(HandleTable, DecodeRejectsHandlesOutOfRange) {
  HandleTable table;
  uint32_t page, position;
  EXPECT_FALSE(table.DecodeHandle(8, page, position)) << "nothing before the first Add";
  table.Add(1, 0);
  for (uint32_t bad : {0u, 7u, 36008u, 65544u}) EXPECT_FALSE(table.DecodeHandle(bad, page, position)) << bad;
  EXPECT_TRUE(table.DecodeHandle(36007, page, position));
  EXPECT_EQ(position, 36007u);
  HandleTable::Value a, b;
  EXPECT_FALSE(table.Acquire(80, a, b)) << "an entry never used";
}

TEST(HandleTable, HolderMayRemoveAndOthersWaitForRelease) {
  HandleTable table;
  uint32_t h = table.Add(1, 2);
  HandleTable::Value a, b;
  ASSERT_TRUE(table.Acquire(h, a, b));
  std::atomic<bool> otherHeld{false};
  std::thread other([&] {
    HandleTable::Value x, y;
    if (table.Acquire(h, x, y)) {
      otherHeld = true;
      table.Release(h);
    }
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(otherHeld.load()) << "the other thread waits while the entry is held";
  EXPECT_TRUE(table.Remove(h)) << "the holder may remove its entry";
  table.Release(h);
  other.join();
  EXPECT_FALSE(otherHeld.load()) << "after Remove the waiting Acquire fails";
}

class FailingHeap final : public platform::Heap {
 public:
  void* Allocate(size_t bytes) override { return std::malloc(bytes); }
  void* Reallocate(void*, size_t) override { return nullptr; }
  void Free(void* block) override { std::free(block); }
};

TEST(RecordQueue, TypedRecordsComeOutInOrder) {
  RecordQueue queue;
  EXPECT_TRUE(queue.PushInt(5));
  EXPECT_TRUE(queue.PushText("abc"));
  EXPECT_EQ(queue.Count(), 2);
  int32_t i = 0;
  Text t;
  EXPECT_TRUE(queue.PopInt(i));
  EXPECT_EQ(i, 5);
  EXPECT_TRUE(queue.PopText(t));
  EXPECT_EQ(t, "abc");
  EXPECT_FALSE(queue.PopInt(i));
  EXPECT_EQ(i, 0);

  queue.PushShort(3);
  EXPECT_TRUE(queue.PopInt(i)) << "a record of another length is removed";
  EXPECT_EQ(i, 0);

  double d;
  bool flag;
  queue.PushDouble(2.5);
  queue.PushBool(true);
  queue.PushInt64(-9);
  EXPECT_TRUE(queue.PopDouble(d));
  EXPECT_EQ(d, 2.5);
  EXPECT_TRUE(queue.PopBool(flag));
  EXPECT_TRUE(flag);
  int64_t big;
  EXPECT_TRUE(queue.PopInt64(big));
  EXPECT_EQ(big, -9);

  char block[4] = {1, 2, 3, 4}, out[4] = {};
  int32_t length = 0;
  queue.PushBlock(block, 4);
  EXPECT_TRUE(queue.PopBlock(nullptr, true, length));
  EXPECT_EQ(length, 4);
  EXPECT_EQ(queue.Count(), 1);
  EXPECT_TRUE(queue.PopBlock(out, false, length));
  EXPECT_EQ(std::memcmp(block, out, 4), 0);
}

TEST(RecordQueue, UniqueComparesLengthAndValue) {
  RecordQueue queue;
  queue.PushInt(5);
  EXPECT_FALSE(queue.PushInt(5, true));
  EXPECT_TRUE(queue.PushInt(6, true));
  RecordQueue floats;
  float bits;
  int32_t five = 5;
  std::memcpy(&bits, &five, 4);
  floats.PushFloat(bits);
  EXPECT_FALSE(floats.PushInt(5, true)) << "a float with the bits of 5 blocks the int 5";
  floats.PushDouble(1.0);
  EXPECT_FALSE(floats.PushDouble(1.00000005, true));
  EXPECT_TRUE(floats.PushDouble(1.001, true));
  floats.PushText("ab");
  EXPECT_FALSE(floats.PushText("ab", true));
  EXPECT_TRUE(floats.PushText("abc", true));
  floats.PushDate(-800000);
  EXPECT_FALSE(floats.PushDate(-700000, true)) << "both clamp to the first day";
}

TEST(RecordQueue, GrowsByItsFormulaAndFailsWithoutLosingRecords) {
  RecordQueue queue;
  EXPECT_EQ(queue.Capacity(), 256);
  // 32 records of 4 + 4 bytes fill 256 bytes exactly.
  for (int i = 0; i < 32; ++i) ASSERT_TRUE(queue.PushInt(i));
  EXPECT_EQ(queue.Capacity(), 256);
  ASSERT_TRUE(queue.PushInt(32));
  EXPECT_EQ(queue.Capacity(), 308);

  RecordQueue stuck;
  FailingHeap heap;
  ASSERT_TRUE(stuck.SetHeap(&heap));
  for (int i = 0; i < 32; ++i) ASSERT_TRUE(stuck.PushInt(i));
  EXPECT_FALSE(stuck.PushInt(99)) << "the buffer cannot grow";
  EXPECT_EQ(stuck.Count(), 32);
  int32_t first;
  stuck.PopInt(first);
  EXPECT_EQ(first, 0);
  stuck.SetHeap(platform::ProcessHeap());
}

TEST(RecordQueue, ClearAndCompactionKeepTheQueueUsable) {
  RecordQueue queue;
  for (int i = 0; i < 1000; ++i) queue.PushInt(i);
  int32_t value = -1;
  for (int i = 0; i < 990; ++i) {
    ASSERT_TRUE(queue.PopInt(value));
    ASSERT_EQ(value, i);
  }
  EXPECT_LT(queue.Capacity(), 8000) << "popped space is given back";
  EXPECT_EQ(queue.Count(), 10);
  EXPECT_TRUE(queue.Clear());
  EXPECT_EQ(queue.Count(), 0);
  EXPECT_EQ(queue.Capacity(), 256);
  EXPECT_TRUE(queue.SetGrowStep(64));
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(queue.PushInt(i));
  EXPECT_TRUE(queue.LockQueue());
  EXPECT_EQ(queue.Count(), 40) << "the queue's lock is re-entrant for its holder";
  EXPECT_TRUE(queue.UnlockQueue());
}

}  // namespace
}  // namespace tovak
