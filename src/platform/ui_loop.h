#pragma once
// The user-interface thread as the core sees it: posted tasks, periodic
// timers and the nested modal wait behind a progress dialog.
#include <cstdint>
#include <functional>

#include "platform/joining_workers.h"

namespace vorn {

class UiLoop : public WorkerJoins {
 public:
  using Task = std::function<void()>;
  using TimerId = int;

  virtual ~UiLoop() = default;
  // Any thread: run the task on the UI thread later.
  virtual void Post(Task task) = 0;
  // Any thread: run the task on the UI thread and wait until it has run. On
  // the UI thread itself the task runs at once. While the UI thread joins
  // workers (a JoiningWorkers is held) it may return without running it.
  virtual void RunSync(const Task& task) = 0;
  // UI thread: call tick every period_ms until KillTimer.
  virtual TimerId StartTimer(int32_t period_ms, Task tick) = 0;
  virtual void KillTimer(TimerId id) = 0;
  // UI thread: keep serving tasks and timers until done() turns true.
  virtual void RunModal(const std::function<bool()>& done) = 0;
};

}  // namespace vorn
