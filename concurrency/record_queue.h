#pragma once
// A first-in, first-out queue of length-prefixed records in one growable buffer. A pop checks
// only the record's length, so a record pushed as one type is read by the pop of another type of
// the same size.
#include <cstdint>
#include <optional>

#include "concurrency/lock.h"
#include "platform/heap.h"
#include "text/text.h"

namespace tovak {

class RecordQueue {
 public:
  RecordQueue();
  ~RecordQueue();
  RecordQueue(const RecordQueue&) = delete;
  RecordQueue& operator=(const RecordQueue&) = delete;

  bool SetHeap(platform::Heap* newHeap);
  bool SetGrowStep(int32_t n);
  bool LockQueue();
  bool UnlockQueue();
  int32_t Count();
  bool Clear();
  int32_t Capacity();

  bool PushBlock(const void* address, int32_t length);
  // With `peekOnly` the front record's length is stored in `length` and nothing is removed.
  bool PopBlock(void* destination, bool peekOnly, int32_t& length);
  bool PushByte(int8_t value, bool unique = false);
  bool PopByte(int8_t& value);
  bool PushShort(int16_t value, bool unique = false);
  bool PopShort(int16_t& value);
  bool PushInt(int32_t value, bool unique = false);
  bool PopInt(int32_t& value);
  bool PushInt64(int64_t value, bool unique = false);
  bool PopInt64(int64_t& value);
  bool PushFloat(float value, bool unique = false);
  bool PopFloat(float& value);
  bool PushDouble(double value, bool unique = false);
  bool PopDouble(double& value);
  bool PushBool(bool value, bool unique = false);
  bool PopBool(bool& value);
  bool PushDate(double dayNumber, bool unique = false);
  bool PopDate(double& dayNumber);
  bool PushRef(const void* reference, bool unique = false);
  bool PopRef(const void*& reference);
  bool PushText(const Text& value, bool unique = false);
  bool PopText(Text& value);
  bool PushBytes(const Bytes& value, bool unique = false);
  bool PopBytes(Bytes& value);

 private:
  template <typename T, typename Equal>
  bool PushValue(const T& value, bool unique, Equal equal);
  template <typename T>
  bool PopValue(T& value);
  bool PushRaw(const char* data, int32_t size, bool unique);
  bool PopRaw(Bytes& value);
  bool StoredEqual(const char* data, int32_t size, bool (*equal)(const char*, const char*, int32_t));
  bool Append(const char* data, int32_t size);
  // Both run with the lock held.
  bool Reserve(int32_t n);
  void Compact(int32_t n);
  void MoveUnreadToStart();
  static int32_t AutomaticStep(int32_t capacity, int32_t n);

  Lock queueLock_;
  platform::Heap* heap_;
  char* buffer_ = nullptr;
  int32_t capacity_ = 0;
  int32_t writePos_ = 0;
  int32_t readPos_ = 0;
  int32_t recordCount_ = 0;
  int32_t fixedStep_ = 0;
  int32_t growStep_ = 256;
};

}  // namespace tovak
