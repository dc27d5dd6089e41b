#include "platform/event_loop.h"

#include <algorithm>
#include <future>

namespace vorn {

namespace {
// Signed distance on the wrapping 32-bit millisecond clock.
int32_t Until(int32_t due_ms, int32_t now_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(due_ms) - static_cast<uint32_t>(now_ms));
}
}  // namespace

EventLoop::EventLoop(Clock& clock, Idle idle) : clock_(clock), idle_(idle), owner_(std::this_thread::get_id()) {}

void EventLoop::Post(Task task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void EventLoop::RunSync(const Task& task) {
  if (std::this_thread::get_id() == owner_) {
    task();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    tasks_.push_back([task, done] {
      task();
      done->set_value();
    });
  }
  wake_.notify_all();
  // Give up when the loop stops turning, so a worker is never left hanging.
  while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    std::lock_guard lock(mutex_);
    if (quit_) return;
  }
}

UiLoop::TimerId EventLoop::StartTimer(int32_t period_ms, Task tick) {
  std::lock_guard lock(mutex_);
  TimerId id = next_id_++;
  timers_.push_back(
      {id, period_ms, static_cast<int32_t>(static_cast<uint32_t>(clock_.NowMs()) + period_ms), std::move(tick)});
  return id;
}

void EventLoop::KillTimer(TimerId id) {
  std::lock_guard lock(mutex_);
  std::erase_if(timers_, [id](const Timer& t) { return t.id == id; });
}

size_t EventLoop::ActiveTimerCount() const {
  std::lock_guard lock(mutex_);
  return timers_.size();
}

bool EventLoop::RunOneTask() {
  Task task;
  {
    std::lock_guard lock(mutex_);
    if (tasks_.empty()) return false;
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();
  return true;
}

bool EventLoop::RunOneDueTimer() {
  Task tick;
  {
    std::lock_guard lock(mutex_);
    int32_t now = clock_.NowMs();
    auto due = std::min_element(timers_.begin(), timers_.end(), [now](const Timer& a, const Timer& b) {
      return Until(a.due_ms, now) < Until(b.due_ms, now);
    });
    if (due == timers_.end() || Until(due->due_ms, now) > 0) return false;
    due->due_ms = static_cast<int32_t>(static_cast<uint32_t>(due->due_ms) + static_cast<uint32_t>(due->period_ms));
    tick = due->tick;  // a copy: the tick may kill its own timer
  }
  tick();
  return true;
}

bool EventLoop::RunReady() {
  bool ran = false;
  while (RunOneTask()) ran = true;
  while (RunOneDueTimer()) ran = true;
  return ran;
}

bool EventLoop::NextDue(int32_t& due_ms) const {
  if (timers_.empty()) return false;
  int32_t now = clock_.NowMs();
  due_ms = std::min_element(timers_.begin(), timers_.end(), [now](const Timer& a, const Timer& b) {
             return Until(a.due_ms, now) < Until(b.due_ms, now);
           })->due_ms;
  return true;
}

void EventLoop::WaitIdle(const std::function<bool()>& done) {
  std::unique_lock lock(mutex_);
  if (!tasks_.empty() || quit_) return;
  int32_t due_ms = 0;
  bool has_timer = NextDue(due_ms);
  int32_t wait_ms = has_timer ? std::max(0, Until(due_ms, clock_.NowMs())) : 1000;
  if (idle_ == Idle::AdvanceClock && has_timer) {
    lock.unlock();
    if (!done()) clock_.SleepMs(wait_ms);
    return;
  }
  wake_.wait_for(lock, std::chrono::milliseconds(wait_ms), [this] { return !tasks_.empty() || quit_; });
}

void EventLoop::RunModal(const std::function<bool()>& done) {
  while (!done()) {
    {
      std::lock_guard lock(mutex_);
      if (quit_) return;
    }
    if (RunOneTask() || RunOneDueTimer()) continue;
    WaitIdle(done);
  }
}

void EventLoop::Run() {
  RunModal([] { return false; });
}

void EventLoop::Quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
}

}  // namespace vorn
