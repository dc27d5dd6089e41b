#pragma once
// The core's UI thread on Qt's main thread: posted tasks are queued
// invocations, timers are QTimers, and a modal wait is a nested event loop.
//
// Synchronous calls from worker threads (text appended by the receive
// thread) wait for the UI thread. When the UI thread itself waits for a
// worker thread to end, a worker waiting for it would never return: while
// the core holds a JoiningWorkers (every join of a worker takes one), and
// for good after StopDelivering, waiting workers are released and new calls
// are refused, so the caller can post a copy of its text instead (or drop
// it once delivery has stopped).
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ui_loop.h"

namespace vorn {

class QtUiLoop final : public QObject, public UiLoop {
 public:
  // Lives on the thread that creates it, which must be the GUI thread.
  QtUiLoop();
  ~QtUiLoop() override;

  void Post(Task task) override;
  // Runs the task on the UI thread unless Deliver refuses it.
  void RunSync(const Task& task) override;
  // Any thread: runs the task on the UI thread and waits; true when it ran.
  // False, without running it, while the UI thread may be joining worker
  // threads or after StopDelivering.
  bool Deliver(const Task& task);
  TimerId StartTimer(int32_t period_ms, Task tick) override;
  void KillTimer(TimerId id) override;
  void RunModal(const std::function<bool()>& done) override;

  // UI thread: from now on nothing is delivered from other threads, no
  // timer ticks, and every nested modal wait returns.
  void StopDelivering();
  bool IsStopped() const { return stopped_.load(std::memory_order_acquire); }
  bool IsUiThread() const;
  size_t ActiveTimerCount() const { return timers_.size(); }

  // Any thread: between the two, worker threads do not wait for this one.
  void BeginJoiningWorkers() override;
  void EndJoiningWorkers() override;

 private:
  struct SyncCall;
  struct ModalWait {
    QEventLoop* loop;
    const std::function<bool()>* done;
  };

  void RunPosted(const std::shared_ptr<SyncCall>& call);
  bool Refusing() const { return IsStopped() || join_scopes_ > 0; }
  // After each task and tick: ends the innermost modal wait once it is done.
  void CheckModalWait();

  std::atomic<bool> stopped_{false};
  // Guards the waiting calls so StopDelivering can release them.
  std::mutex mutex_;
  std::condition_variable released_;
  int join_scopes_ = 0;  // under mutex_
  std::map<TimerId, QPointer<QTimer>> timers_;
  std::vector<ModalWait> modal_waits_;  // innermost last
  TimerId next_timer_ = 1;
};

}  // namespace vorn
