#pragma once
// The UI loop of the headless node and of tests: posted tasks and timers
// served on the thread that runs the loop, timed by the injected Clock.
//
// With Idle::AdvanceClock (tests on a ManualClock) an idle loop moves the
// clock to the next timer instead of waiting, so a modal wait of twelve
// seconds finishes at once and in a repeatable order.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/ui_loop.h"

namespace vorn {

class EventLoop final : public UiLoop {
 public:
  enum class Idle { Wait, AdvanceClock };

  EventLoop(Clock& clock, Idle idle);

  void Post(Task task) override;
  void RunSync(const Task& task) override;
  TimerId StartTimer(int32_t period_ms, Task tick) override;
  void KillTimer(TimerId id) override;
  void RunModal(const std::function<bool()>& done) override;

  // Serves tasks and timers until Quit; call from the loop's own thread.
  void Run();
  // Any thread: makes Run return, and makes later RunSync calls from other
  // threads return without running their task (so shutdown never waits on
  // a loop that no longer turns).
  void Quit();
  // Serves what is ready now; true when anything ran.
  bool RunReady();
  // Makes the calling thread the loop's thread.
  void BindToCurrentThread() { owner_ = std::this_thread::get_id(); }
  size_t ActiveTimerCount() const;

 private:
  struct Timer {
    TimerId id = 0;
    int32_t period_ms = 0;
    int32_t due_ms = 0;
    Task tick;
  };

  bool RunOneTask();
  bool RunOneDueTimer();
  // Waits (or advances a manual clock) until the next timer or task.
  void WaitIdle(const std::function<bool()>& done);
  bool NextDue(int32_t& due_ms) const;

  Clock& clock_;
  Idle idle_;
  std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  std::vector<Timer> timers_;
  TimerId next_id_ = 1;
  bool quit_ = false;
};

}  // namespace vorn
