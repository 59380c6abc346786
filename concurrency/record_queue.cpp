#include "concurrency/record_queue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tovak {
namespace {

constexpr int32_t kBaseSize = 256;
constexpr double kFirstDay = -657434, kLastDay = 2958465;

template <typename T>
T Decode(const char* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

}  // namespace

RecordQueue::RecordQueue() : heap_(platform::ProcessHeap()) {
  buffer_ = static_cast<char*>(heap_->Allocate(kBaseSize));
  if (buffer_) capacity_ = kBaseSize;
}

RecordQueue::~RecordQueue() {
  if (buffer_) heap_->Free(buffer_);
}

int32_t RecordQueue::AutomaticStep(int32_t capacity, int32_t n) {
  return (((capacity + n + 7) / 8) + 2 * n + 3) & ~3;
}

void RecordQueue::MoveUnreadToStart() {
  if (readPos_ <= 0) return;
  std::memmove(buffer_, buffer_ + readPos_, static_cast<size_t>(writePos_ - readPos_));
  writePos_ -= readPos_;
  readPos_ = 0;
}

bool RecordQueue::Reserve(int32_t n) {
  if (readPos_ > 0) {
    MoveUnreadToStart();
    if (capacity_ - writePos_ >= n) return true;
  }
  int32_t newCapacity;
  if (fixedStep_ == 0) {
    growStep_ = AutomaticStep(capacity_, n);
    newCapacity = capacity_ + growStep_;
  } else {
    newCapacity = capacity_ + n + growStep_;
  }
  char* grown = static_cast<char*>(heap_->Reallocate(buffer_, static_cast<size_t>(newCapacity)));
  if (!grown) return false;
  buffer_ = grown;
  capacity_ = newCapacity;
  return true;
}

void RecordQueue::Compact(int32_t n) {
  MoveUnreadToStart();
  char* shrunk = static_cast<char*>(heap_->Reallocate(buffer_, static_cast<size_t>(writePos_ + growStep_)));
  if (!shrunk) return;
  buffer_ = shrunk;
  capacity_ = writePos_ + growStep_;
  if (fixedStep_ == 0) growStep_ = capacity_ <= 2048 ? n + 256 : AutomaticStep(capacity_, n);
}

bool RecordQueue::SetHeap(platform::Heap* newHeap) {
  if (!newHeap) return false;
  LockGuard guard(queueLock_);
  int32_t size = fixedStep_ ? fixedStep_ : kBaseSize;
  char* fresh = static_cast<char*>(newHeap->Allocate(static_cast<size_t>(size)));
  if (!fresh) return false;
  if (buffer_) heap_->Free(buffer_);
  buffer_ = fresh;
  capacity_ = size;
  heap_ = newHeap;
  writePos_ = readPos_ = recordCount_ = 0;
  return true;
}

bool RecordQueue::SetGrowStep(int32_t n) {
  LockGuard guard(queueLock_);
  if (n > 0) {
    fixedStep_ = growStep_ = n;
  } else {
    fixedStep_ = 0;
    growStep_ = AutomaticStep(capacity_, 128);
  }
  return true;
}

bool RecordQueue::LockQueue() {
  queueLock_.Enter();
  return true;
}

bool RecordQueue::UnlockQueue() {
  queueLock_.Leave();
  return true;
}

int32_t RecordQueue::Count() {
  LockGuard guard(queueLock_);
  return recordCount_;
}

int32_t RecordQueue::Capacity() {
  LockGuard guard(queueLock_);
  return capacity_;
}

bool RecordQueue::Clear() {
  LockGuard guard(queueLock_);
  growStep_ = fixedStep_ ? fixedStep_ : kBaseSize;
  char* reset = static_cast<char*>(heap_->Reallocate(buffer_, static_cast<size_t>(growStep_)));
  if (!reset) return false;
  buffer_ = reset;
  capacity_ = growStep_;
  writePos_ = readPos_ = recordCount_ = 0;
  return true;
}

bool RecordQueue::StoredEqual(const char* data, int32_t size, bool (*equal)(const char*, const char*, int32_t)) {
  for (int32_t at = readPos_; at + 4 <= writePos_;) {
    int32_t length = Decode<int32_t>(buffer_ + at);
    if (length == size && equal(buffer_ + at + 4, data, size)) return true;
    at += 4 + std::max(length, 0);
  }
  return false;
}

bool RecordQueue::Append(const char* data, int32_t size) {
  if (writePos_ + 4 + size > capacity_ && !Reserve(4 + size)) return false;
  std::memcpy(buffer_ + writePos_, &size, 4);
  if (size > 0) std::memcpy(buffer_ + writePos_ + 4, data, static_cast<size_t>(size));
  writePos_ += 4 + size;
  ++recordCount_;
  return true;
}

template <typename T, typename Equal>
bool RecordQueue::PushValue(const T& value, bool unique, Equal) {
  LockGuard guard(queueLock_);
  const char* data = reinterpret_cast<const char*>(&value);
  if (unique && StoredEqual(data, sizeof(T), [](const char* stored, const char* pushed, int32_t) {
        return Equal{}(Decode<T>(stored), Decode<T>(pushed));
      }))
    return false;
  return Append(data, sizeof(T));
}

template <typename T>
bool RecordQueue::PopValue(T& value) {
  Bytes record;
  value = T{};
  if (!PopRaw(record)) return false;
  if (record.size() == sizeof(T)) value = Decode<T>(record.data());
  return true;
}

bool RecordQueue::PopRaw(Bytes& value) {
  LockGuard guard(queueLock_);
  value.clear();
  if (recordCount_ < 1) return false;
  int32_t length = Decode<int32_t>(buffer_ + readPos_);
  readPos_ += 4;
  if (length > 0) {
    value.assign(buffer_ + readPos_, static_cast<size_t>(length));
    readPos_ += length;
  }
  --recordCount_;
  if (readPos_ > growStep_) Compact(length);
  return true;
}

bool RecordQueue::PushRaw(const char* data, int32_t size, bool unique) {
  LockGuard guard(queueLock_);
  if (unique && size > 0 && StoredEqual(data, size, [](const char* a, const char* b, int32_t n) {
        return std::memcmp(a, b, static_cast<size_t>(n)) == 0;
      }))
    return false;
  return Append(data, size);
}

namespace {
struct BitwiseEqual {
  template <typename T>
  bool operator()(const T& a, const T& b) const { return std::memcmp(&a, &b, sizeof(T)) == 0; }
};
struct FloatEqual {
  bool operator()(float a, float b) const { return a == b; }
};
struct DoubleEqual {
  bool operator()(double a, double b) const { return std::fabs(a - b) <= 1e-7; }
};
struct DateEqual {
  bool operator()(double a, double b) const {
    return std::clamp(a, kFirstDay, kLastDay) == std::clamp(b, kFirstDay, kLastDay);
  }
};
}  // namespace

bool RecordQueue::PushBlock(const void* address, int32_t length) {
  if (length <= 0 || !address) return PushRaw(nullptr, 0, false);
  return PushRaw(static_cast<const char*>(address), length, false);
}

bool RecordQueue::PopBlock(void* destination, bool peekOnly, int32_t& length) {
  if (peekOnly) {
    LockGuard guard(queueLock_);
    if (recordCount_ < 1) return false;
    length = Decode<int32_t>(buffer_ + readPos_);
    return true;
  }
  Bytes record;
  if (!PopRaw(record)) return false;
  if (destination && !record.empty()) std::memcpy(destination, record.data(), record.size());
  length = static_cast<int32_t>(record.size());
  return true;
}

bool RecordQueue::PushByte(int8_t value, bool unique) { return PushValue(value, unique, BitwiseEqual{}); }
bool RecordQueue::PopByte(int8_t& value) { return PopValue(value); }
bool RecordQueue::PushShort(int16_t value, bool unique) { return PushValue(value, unique, BitwiseEqual{}); }
bool RecordQueue::PopShort(int16_t& value) { return PopValue(value); }
bool RecordQueue::PushInt(int32_t value, bool unique) { return PushValue(value, unique, BitwiseEqual{}); }
bool RecordQueue::PopInt(int32_t& value) { return PopValue(value); }
bool RecordQueue::PushInt64(int64_t value, bool unique) { return PushValue(value, unique, BitwiseEqual{}); }
bool RecordQueue::PopInt64(int64_t& value) { return PopValue(value); }
bool RecordQueue::PushFloat(float value, bool unique) { return PushValue(value, unique, FloatEqual{}); }
bool RecordQueue::PopFloat(float& value) { return PopValue(value); }
bool RecordQueue::PushDouble(double value, bool unique) { return PushValue(value, unique, DoubleEqual{}); }
bool RecordQueue::PopDouble(double& value) { return PopValue(value); }
bool RecordQueue::PushDate(double dayNumber, bool unique) { return PushValue(dayNumber, unique, DateEqual{}); }
bool RecordQueue::PopDate(double& dayNumber) { return PopValue(dayNumber); }
bool RecordQueue::PushRef(const void* reference, bool unique) { return PushValue(reference, unique, BitwiseEqual{}); }
bool RecordQueue::PopRef(const void*& reference) { return PopValue(reference); }

bool RecordQueue::PushBool(bool value, bool unique) {
  return PushValue(static_cast<int32_t>(value ? 1 : 0), unique, BitwiseEqual{});
}

bool RecordQueue::PopBool(bool& value) {
  int32_t stored = 0;
  bool popped = PopValue(stored);
  value = stored != 0;
  return popped;
}

bool RecordQueue::PushText(const Text& value, bool unique) {
  return PushRaw(value.data(), static_cast<int32_t>(value.size()), unique);
}
bool RecordQueue::PopText(Text& value) { return PopRaw(value); }
bool RecordQueue::PushBytes(const Bytes& value, bool unique) { return PushText(value, unique); }
bool RecordQueue::PopBytes(Bytes& value) { return PopRaw(value); }

}  // namespace tovak
