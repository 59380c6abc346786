#include "concurrency/task_pool.h"

#include <mutex>

#include "concurrency/event.h"
#include "platform/completion_queue.h"
#include "platform/event_pump.h"
#include "platform/thread_start.h"

namespace tovak {
namespace {

using platform::CompletionPacket;
using platform::CompletionQueue;
using platform::EventHandle;

constexpr uintptr_t kStopProcedure = static_cast<uintptr_t>(-2);
constexpr uint32_t kStopArgument = 0xFFFFFFFFu;
constexpr int kStartFailuresBeforeGivingUp = 5;
constexpr uint32_t kManagerStack = 8192;
constexpr uint32_t kPumpPollMs = 10;

bool IsStopItem(const CompletionPacket& packet) { return packet.overlapped == kStopProcedure; }

// Waits for `event` while dispatching the window's events between short waits.
bool WaitPumping(const EventHandle& event) {
  for (;;) {
    if (event->Wait(kPumpPollMs)) return true;
    platform::ProcessPendingEvents();
  }
}

bool WaitOn(const EventHandle& event, bool pump) { return pump ? WaitPumping(event) : event->Wait(std::nullopt); }

}  // namespace

struct TaskPool::Core : std::enable_shared_from_this<TaskPool::Core> {
  std::atomic<int32_t> state{static_cast<int32_t>(TaskPoolState::Closed)};
  std::atomic<int32_t> acceptTasks{0};
  std::atomic<int32_t> liveThreads{0};
  std::atomic<int32_t> queuedTasks{0};
  std::atomic<int32_t> busyTasks{0};
  std::atomic<int32_t> maxThreads{0};
  std::atomic<int32_t> idleTimeoutMs{0};
  std::atomic<int32_t> stackSize{0};
  std::atomic<int32_t> initialThreads{0};
  bool entriesPrepared = false;

  // Handles that the closing caller and the last worker may both reach: they are loaded and
  // exchanged under this mutex, so each is closed by exactly one thread.
  mutable std::mutex handles;
  std::shared_ptr<CompletionQueue> completionPort;
  EventHandle taskDoneEvent, gateEvent, workPostedEvent, threadStartedEvent;
  std::unique_ptr<platform::ThreadHandle> managerThread;

  std::mutex callbacks;
  ThreadCallback threadStartProc, threadExitProc, closedProc;
  CreatedCallback createdProc;
  TaskRunner taskRunner;
  int32_t threadStartArg = 0, threadExitArg = 0, createdArg = 0, closedArg = 0;

  template <typename T>
  T Load(const T& field) const {
    std::lock_guard lock(handles);
    return field;
  }
  template <typename T>
  T Exchange(T& field, T value) {
    std::lock_guard lock(handles);
    std::swap(field, value);
    return value;
  }
  template <typename T>
  T Callback(const T& field) {
    std::lock_guard lock(callbacks);
    return field;
  }
  int32_t CallbackArg(const int32_t& field) {
    std::lock_guard lock(callbacks);
    return field;
  }

  TaskPoolState State() const { return static_cast<TaskPoolState>(state.load()); }
  void SetState(TaskPoolState value) { state.exchange(static_cast<int32_t>(value)); }
  bool SwapState(TaskPoolState from, TaskPoolState to, TaskPoolState& seen) {
    int32_t expected = static_cast<int32_t>(from);
    bool swapped = state.compare_exchange_strong(expected, static_cast<int32_t>(to));
    seen = static_cast<TaskPoolState>(expected);
    return swapped;
  }
  bool NeedsAnotherWorker() const {
    int32_t live = liveThreads.load();
    return live < maxThreads.load() && busyTasks.load() + queuedTasks.load() > live;
  }
  void SignalWorkPosted() {
    if (EventHandle event = Load(workPostedEvent)) event->Set();
  }

  bool StartWorker(bool addedByManager) {
    std::shared_ptr<Core> self = shared_from_this();
    int32_t stack = stackSize.load();
    auto thread = platform::StartThread([self, addedByManager] { self->WorkerLoop(addedByManager); },
                                        static_cast<uint32_t>(stack > 0 ? stack : 0));
    return thread != nullptr;  // dropping the handle detaches the worker
  }

  bool Take(CompletionPacket& packet, bool addedByManager) {
    std::shared_ptr<CompletionQueue> port = Load(completionPort);
    bool taken = false;
    if (port) {
      std::optional<uint32_t> timeout;
      if (addedByManager) timeout = static_cast<uint32_t>(idleTimeoutMs.load());
      taken = port->Take(packet, timeout);
    }
    // A paused pool holds the worker here, with the entry it has taken.
    if (EventHandle gate = Load(gateEvent)) gate->Wait(std::nullopt);
    return taken;
  }

  void WorkerLoop(bool addedByManager) {
    liveThreads.fetch_add(1);
    if (EventHandle started = Load(threadStartedEvent)) started->Set();
    if (ThreadCallback start = Callback(threadStartProc)) start(CallbackArg(threadStartArg));

    CompletionPacket packet;
    bool taken = Take(packet, addedByManager);
    while (acceptTasks.load() == 1 && taken && !IsStopItem(packet)) {
      busyTasks.fetch_add(1);  // counted as running before it stops counting as queued
      queuedTasks.fetch_sub(1);
      const auto* procedure = reinterpret_cast<const TaskProcedure*>(packet.overlapped);
      auto first = static_cast<int32_t>(packet.bytes), second = static_cast<int32_t>(packet.key);
      if (TaskRunner runner = Callback(taskRunner)) {
        runner(*procedure, first, second);
      } else {
        (*procedure)(first, second);
      }
      int32_t stillBusy = busyTasks.fetch_sub(1) - 1;
      if (EventHandle done = Load(taskDoneEvent)) done->Set();
      if (addedByManager && stillBusy >= maxThreads.load()) break;
      taken = Take(packet, addedByManager);
    }

    if (ThreadCallback exit = Callback(threadExitProc)) exit(CallbackArg(threadExitArg));
    if (liveThreads.fetch_sub(1) - 1 > 0) return;
    TearDownAsLastWorker();
  }

  void TearDownAsLastWorker() {
    Exchange(completionPort, std::shared_ptr<CompletionQueue>());  // drops what is still queued
    acceptTasks.store(0);
    liveThreads.store(0);
    busyTasks.store(0);
    queuedTasks.store(0);
    Exchange(taskDoneEvent, EventHandle());
    Exchange(gateEvent, EventHandle());
    Exchange(workPostedEvent, EventHandle());
    if (EventHandle started = Load(threadStartedEvent)) {
      started->Set();  // a waiting Close finishes the close
      return;
    }
    if (ThreadCallback closed = Callback(closedProc)) closed(CallbackArg(closedArg));
    SetState(TaskPoolState::Closed);
  }

  void ManagerLoop() {
    if (EventHandle posted = Load(workPostedEvent)) posted->Wait(std::nullopt);
    int failures = 0;
    while (State() == TaskPoolState::Running) {
      if (NeedsAnotherWorker()) {
        if (!StartWorker(true)) {
          if (++failures == kStartFailuresBeforeGivingUp) {
            maxThreads.store(liveThreads.load());
            failures = 0;
          }
        } else {
          failures = 0;
          if (EventHandle started = Load(threadStartedEvent)) started->Wait(std::nullopt);
        }
      } else if (EventHandle posted = Load(workPostedEvent)) {
        posted->Wait(std::nullopt);
      }
      if (EventHandle gate = Load(gateEvent)) gate->Wait(std::nullopt);
    }
  }
};

TaskPool::TaskPool() : core_(std::make_shared<Core>()) {}

TaskPool::~TaskPool() { Close(static_cast<int32_t>(CloseMode::CancelNoWait)); }

bool TaskPool::Create(std::optional<int32_t> threadCount, std::optional<int32_t> maxThreads,
                      std::optional<int32_t> idleTimeoutMs, std::optional<int32_t> withTaskDoneEvent,
                      std::optional<int32_t> withGate, std::optional<int32_t> stackSize,
                      std::optional<bool> pumpMessages) {
  Core& c = *core_;
  TaskPoolState seen;
  if (!c.SwapState(TaskPoolState::Closed, TaskPoolState::Starting, seen)) return false;

  int32_t initial = threadCount ? std::max(*threadCount, 1) : 5;
  c.initialThreads.store(initial);
  c.maxThreads.store(std::max(maxThreads.value_or(0), initial));
  c.idleTimeoutMs.store(idleTimeoutMs ? std::max(*idleTimeoutMs, 100) : 10000);
  int32_t stack = stackSize.value_or(0);
  if (stack != 0) stack = stack < 8192 ? 8192 : stack - stack % 4096;
  c.stackSize.store(stack);
  bool pump = pumpMessages.value_or(platform::IsWindowThread());
  c.entriesPrepared = true;

  // Each event is held by an Event until the start has succeeded, so every failure closes them.
  Event taskDone, gate, started, posted;
  bool eventsMade = (withTaskDoneEvent.value_or(1) != 1 || taskDone.Create(false, false)) &&
                    (withGate.value_or(1) != 1 || gate.Create(true, true)) && started.Create(false, false) &&
                    posted.Create(false, false);
  if (!eventsMade) {
    c.SetState(TaskPoolState::Closed);
    return false;
  }

  {
    std::lock_guard lock(c.handles);
    c.completionPort = std::make_shared<CompletionQueue>();
    c.threadStartedEvent = started.Handle();
    c.workPostedEvent = posted.Handle();
  }
  std::shared_ptr<Core> self = core_;
  auto manager = platform::StartThread([self] { self->ManagerLoop(); }, kManagerStack);
  if (!manager) {
    std::lock_guard lock(c.handles);
    c.completionPort.reset();
    c.threadStartedEvent.reset();
    c.workPostedEvent.reset();
    c.SetState(TaskPoolState::Closed);
    return false;
  }

  c.liveThreads.store(0);
  c.busyTasks.store(0);
  c.queuedTasks.store(0);
  c.acceptTasks.store(1);
  // Gate and task-done event are visible to workers from their first take.
  {
    std::lock_guard lock(c.handles);
    c.taskDoneEvent = taskDone.Handle();
    c.gateEvent = gate.Handle();
  }

  int failures = 0;
  for (int32_t i = 0; i < initial; ++i) {
    if (!c.StartWorker(false)) {
      if (++failures == kStartFailuresBeforeGivingUp) break;
      continue;
    }
    failures = 0;
    WaitOn(started.Handle(), pump);  // workers start one after the other
  }

  if (c.liveThreads.load() == 0) {
    c.Exchange(c.completionPort, std::shared_ptr<CompletionQueue>());
    posted.Set();
    manager->Join();
    c.acceptTasks.store(0);
    std::lock_guard lock(c.handles);
    c.threadStartedEvent.reset();
    c.workPostedEvent.reset();
    c.taskDoneEvent.reset();
    c.gateEvent.reset();
    c.liveThreads.store(0);
    c.SetState(TaskPoolState::Closed);
    return false;
  }

  // The pool owns the events from here on.
  taskDone.Handle(nullptr);
  gate.Handle(nullptr);
  started.Handle(nullptr);
  posted.Handle(nullptr);
  c.initialThreads.store(c.liveThreads.load());
  {
    std::lock_guard lock(c.handles);
    c.managerThread = std::move(manager);
  }

  if (CreatedCallback created = c.Callback(c.createdProc); created && created(c.CallbackArg(c.createdArg)) != 0) {
    c.SetState(TaskPoolState::Closing);
    Close(kAbortMode, pump);
    return false;
  }
  c.SetState(TaskPoolState::Running);
  return true;
}

bool TaskPool::Close(std::optional<int32_t> requestedMode, std::optional<bool> pumpMessages) {
  Core& c = *core_;
  int32_t mode = requestedMode.value_or(0);
  if (mode != kAbortMode) {
    TaskPoolState seen;
    if (!c.SwapState(TaskPoolState::Running, TaskPoolState::Closing, seen)) return seen == TaskPoolState::Closed;
  }
  if (mode < 0 || mode > 3) mode = 0;
  const bool waits = mode == 0 || mode == 1;
  const bool cancels = mode == 0 || mode == 2;
  bool pump = pumpMessages.value_or(platform::IsWindowThread());

  c.SignalWorkPosted();  // the manager wakes, sees the state, and ends
  if (EventHandle gate = c.Load(c.gateEvent)) gate->Set();
  if (auto manager = c.Exchange(c.managerThread, std::unique_ptr<platform::ThreadHandle>())) manager->Join();

  if (waits) {
    if (EventHandle started = c.Load(c.threadStartedEvent)) started->Wait(0u);  // clears a stale start signal
  } else {
    c.Exchange(c.threadStartedEvent, EventHandle());
  }
  if (EventHandle done = c.Load(c.taskDoneEvent)) done->Set();
  if (cancels) c.acceptTasks.store(0);

  int32_t live = c.liveThreads.load();
  std::shared_ptr<CompletionQueue> port = c.Load(c.completionPort);
  for (int32_t i = 0; port && i < live; ++i) {
    port->Post({kStopProcedure, kStopArgument, kStopArgument});
    if (pump && (i + 1) % 128 == 0) platform::ProcessPendingEvents();
  }
  port.reset();

  if (EventHandle started = c.Load(c.threadStartedEvent)) {
    if (WaitOn(started, pump)) c.Exchange(c.threadStartedEvent, EventHandle());
    if (ThreadCallback closed = c.Callback(c.closedProc)) closed(c.CallbackArg(c.closedArg));
    c.SetState(TaskPoolState::Closed);
  }
  return true;
}

namespace {
bool GateCall(TaskPool::Core& c, bool (platform::SyncEvent::*call)()) {
  EventHandle gate = c.Load(c.gateEvent);
  if (!gate || c.State() != TaskPoolState::Running) return false;
  return ((*gate).*call)();
}
}  // namespace

bool TaskPool::Pause() { return GateCall(*core_, &platform::SyncEvent::Reset); }
bool TaskPool::Resume() { return GateCall(*core_, &platform::SyncEvent::Set); }

bool TaskPool::WaitWhilePaused(std::optional<uint32_t> timeoutMs) {
  EventHandle gate = core_->Load(core_->gateEvent);
  if (!gate || core_->State() != TaskPoolState::Running) return false;
  return gate->Wait(timeoutMs);
}

bool TaskPool::Submit(const TaskProcedure* procedure, int32_t firstArg, int32_t secondArg) {
  Core& c = *core_;
  if (c.State() != TaskPoolState::Running) return false;
  c.queuedTasks.fetch_add(1);  // counted before it is posted, so IsIdle never misses it
  std::shared_ptr<CompletionQueue> port = c.Load(c.completionPort);
  bool posted = port && port->Post({reinterpret_cast<uintptr_t>(procedure), static_cast<uint32_t>(firstArg),
                                    static_cast<uintptr_t>(static_cast<uint32_t>(secondArg))});
  if (!posted) c.queuedTasks.fetch_sub(1);
  if (c.NeedsAnotherWorker()) c.SignalWorkPosted();
  return posted;
}

bool TaskPool::WaitTaskDone(std::optional<int32_t> timeoutMs, bool pumpMessages) {
  EventHandle done = core_->Load(core_->taskDoneEvent);
  if (!done || core_->State() != TaskPoolState::Running) return false;
  if (!pumpMessages) {
    std::optional<uint32_t> timeout;
    if (timeoutMs && *timeoutMs >= 0) timeout = static_cast<uint32_t>(*timeoutMs);
    return done->Wait(timeout);
  }
  constexpr int32_t kStepMs = 20;
  const bool unlimited = !timeoutMs || *timeoutMs == -1;
  for (int32_t waited = 0;;) {
    if (done->Wait(static_cast<uint32_t>(kStepMs))) return true;
    waited += kStepMs;
    platform::ProcessPendingEvents();
    if (!unlimited && waited >= *timeoutMs) return false;
  }
}

bool TaskPool::SignalTaskDone() {
  EventHandle done = core_->Load(core_->taskDoneEvent);
  if (!done || core_->State() != TaskPoolState::Running) return false;
  return done->Set();
}

TaskPoolState TaskPool::GetState() const { return core_->State(); }
int32_t TaskPool::GetThreadCount() const { return core_->liveThreads.load(); }
int32_t TaskPool::GetMaxThreads() const { return core_->maxThreads.load(); }
int32_t TaskPool::GetBusyCount() const { return core_->busyTasks.load(); }
int32_t TaskPool::GetQueuedCount() const { return core_->queuedTasks.load(); }
int32_t TaskPool::GetIdleThreadCount() const { return core_->liveThreads.load() - core_->busyTasks.load(); }
int32_t TaskPool::GetIdleTimeout() const { return core_->idleTimeoutMs.load(); }
int32_t TaskPool::GetStackSize() const { return core_->stackSize.load(); }

bool TaskPool::GetFreeThreadCount(int32_t& count) const {
  int32_t free = core_->liveThreads.load() - core_->busyTasks.load() - core_->queuedTasks.load();
  count = free > 0 ? free : 0;
  return free > 0;
}

bool TaskPool::GetSpareCapacity(int32_t& count) const {
  int32_t spare = core_->maxThreads.load() - core_->busyTasks.load() - core_->queuedTasks.load();
  count = spare > 0 ? spare : 0;
  return spare > 0;
}

bool TaskPool::IsIdle() const {
  // Queued before busy: a worker counts a task busy before it stops counting it queued.
  return core_->queuedTasks.load() == 0 && core_->busyTasks.load() == 0;
}

bool TaskPool::SetMaxThreads(int32_t n) {
  Core& c = *core_;
  if (c.State() != TaskPoolState::Running) return false;
  if (n < c.initialThreads.load()) {
    c.maxThreads.store(c.initialThreads.load());
  } else {
    c.maxThreads.store(n);
    if (c.NeedsAnotherWorker()) c.SignalWorkPosted();
  }
  return true;
}

bool TaskPool::SetIdleTimeout(int32_t ms) {
  if (core_->State() != TaskPoolState::Running) return false;
  core_->idleTimeoutMs.store(std::max(ms, 100));
  return true;
}

bool TaskPool::SetStackSize(int32_t bytes) {
  if (core_->State() != TaskPoolState::Running) return false;
  if (bytes != 0) bytes = bytes < 8192 ? 8192 : bytes - bytes % 8192;
  core_->stackSize.store(bytes);
  return true;
}

void TaskPool::SetThreadCallbacks(std::optional<ThreadCallback> threadStartProc,
                                  std::optional<ThreadCallback> threadExitProc, std::optional<TaskRunner> taskRunner,
                                  std::optional<int32_t> threadStartArg, std::optional<int32_t> threadExitArg) {
  std::lock_guard lock(core_->callbacks);
  if (threadStartProc) core_->threadStartProc = *threadStartProc;
  if (threadExitProc) core_->threadExitProc = *threadExitProc;
  if (taskRunner) core_->taskRunner = *taskRunner;
  if (threadStartArg) core_->threadStartArg = *threadStartArg;
  if (threadExitArg) core_->threadExitArg = *threadExitArg;
}

void TaskPool::SetPoolCallbacks(std::optional<CreatedCallback> createdProc, std::optional<ThreadCallback> closedProc,
                                std::optional<int32_t> createdArg, std::optional<int32_t> closedArg) {
  std::lock_guard lock(core_->callbacks);
  if (createdProc) core_->createdProc = *createdProc;
  if (closedProc) core_->closedProc = *closedProc;
  if (createdArg) core_->createdArg = *createdArg;
  if (closedArg) core_->closedArg = *closedArg;
}

}  // namespace tovak
