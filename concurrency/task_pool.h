#pragma once
// A pool of worker threads that runs queued calls of two-argument procedures, first in, first
// out. A manager thread adds workers while work piles up; added workers leave when idle.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tovak {

using TaskProcedure = std::function<void(int32_t firstArg, int32_t secondArg)>;
using ThreadCallback = std::function<void(int32_t arg)>;
using CreatedCallback = std::function<int32_t(int32_t arg)>;
using TaskRunner = std::function<void(const TaskProcedure& procedure, int32_t firstArg, int32_t secondArg)>;

enum class TaskPoolState : int32_t { Closed = 0, Running = 1, Starting = 2, Closing = 3 };

enum class CloseMode : int32_t { CancelAndWait = 0, DrainAndWait = 1, CancelNoWait = 2, DrainNoWait = 3 };

class TaskPool {
 public:
  TaskPool();
  // Closes without waiting (CancelNoWait); workers still leaving keep the pool's state alive.
  ~TaskPool();
  TaskPool(const TaskPool&) = delete;
  TaskPool& operator=(const TaskPool&) = delete;

  // Absent arguments take defaults: 5 threads, 10000 ms idle time-out, task-done event and gate
  // created, default stacks, pumping when called on the window thread.
  bool Create(std::optional<int32_t> threadCount = {}, std::optional<int32_t> maxThreads = {},
              std::optional<int32_t> idleTimeoutMs = {}, std::optional<int32_t> withTaskDoneEvent = {},
              std::optional<int32_t> withGate = {}, std::optional<int32_t> stackSize = {},
              std::optional<bool> pumpMessages = {});
  bool Close(std::optional<int32_t> mode = {}, std::optional<bool> pumpMessages = {});
  bool Pause();
  bool Resume();
  bool WaitWhilePaused(std::optional<uint32_t> timeoutMs = {});
  // `procedure` is called as procedure(firstArg, secondArg) on a worker; it must stay alive until
  // the task has run, as a function's address does.
  bool Submit(const TaskProcedure* procedure, int32_t firstArg = 0, int32_t secondArg = 0);
  bool WaitTaskDone(std::optional<int32_t> timeoutMs = {}, bool pumpMessages = false);
  bool SignalTaskDone();

  TaskPoolState GetState() const;
  int32_t GetThreadCount() const;
  int32_t GetMaxThreads() const;
  int32_t GetBusyCount() const;
  int32_t GetQueuedCount() const;
  int32_t GetIdleThreadCount() const;
  bool GetFreeThreadCount(int32_t& count) const;
  bool GetSpareCapacity(int32_t& count) const;
  bool IsIdle() const;
  int32_t GetIdleTimeout() const;
  int32_t GetStackSize() const;

  bool SetMaxThreads(int32_t n);
  bool SetIdleTimeout(int32_t ms);
  bool SetStackSize(int32_t bytes = 0);
  void SetThreadCallbacks(std::optional<ThreadCallback> threadStartProc = {},
                          std::optional<ThreadCallback> threadExitProc = {},
                          std::optional<TaskRunner> taskRunner = {}, std::optional<int32_t> threadStartArg = {},
                          std::optional<int32_t> threadExitArg = {});
  void SetPoolCallbacks(std::optional<CreatedCallback> createdProc = {}, std::optional<ThreadCallback> closedProc = {},
                        std::optional<int32_t> createdArg = {}, std::optional<int32_t> closedArg = {});

  // The close mode that only a failed start uses: the state is already Closing.
  static constexpr int32_t kAbortMode = 521573;

  struct Core;

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace tovak
