#include "qt_ui_loop.h"

#include <QThread>

namespace vorn {
namespace {

// A modal wait also re-checks its condition this often, for conditions
// changed by a click or by a thread that did not post anything.
constexpr int kModalRecheckMs = 20;

}  // namespace

// One synchronous call. The task is borrowed from the waiting caller: once
// the caller has given up (Abandoned), the UI thread must not touch it.
struct QtUiLoop::SyncCall {
  enum class State { Pending, Running, Done, Abandoned };
  const Task* task = nullptr;
  State state = State::Pending;
};

QtUiLoop::QtUiLoop() = default;

QtUiLoop::~QtUiLoop() {
  StopDelivering();
  for (auto& [id, timer] : timers_) delete timer.data();
}

bool QtUiLoop::IsUiThread() const { return QThread::currentThread() == thread(); }

void QtUiLoop::Post(Task task) {
  if (IsStopped()) return;
  // Queued to this object: should it be destroyed first, Qt drops the call.
  QMetaObject::invokeMethod(
      this,
      [this, task = std::move(task)] {
        if (IsStopped()) return;
        task();
        CheckModalWait();
      },
      Qt::QueuedConnection);
}

void QtUiLoop::RunSync(const Task& task) { Deliver(task); }

bool QtUiLoop::Deliver(const Task& task) {
  if (IsUiThread()) {
    task();
    return true;
  }
  auto call = std::make_shared<SyncCall>();
  call->task = &task;
  {
    std::lock_guard lock(mutex_);
    if (Refusing()) return false;
  }
  QMetaObject::invokeMethod(
      this, [this, call] { RunPosted(call); }, Qt::QueuedConnection);
  std::unique_lock lock(mutex_);
  released_.wait(lock, [&] {
    return call->state == SyncCall::State::Done || (Refusing() && call->state == SyncCall::State::Pending);
  });
  if (call->state == SyncCall::State::Done) return true;
  call->state = SyncCall::State::Abandoned;
  return false;
}

void QtUiLoop::RunPosted(const std::shared_ptr<SyncCall>& call) {
  {
    std::lock_guard lock(mutex_);
    if (call->state != SyncCall::State::Pending || Refusing()) return;
    call->state = SyncCall::State::Running;
  }
  (*call->task)();
  {
    std::lock_guard lock(mutex_);
    call->state = SyncCall::State::Done;
  }
  released_.notify_all();
  CheckModalWait();
}

void QtUiLoop::BeginJoiningWorkers() {
  {
    std::lock_guard lock(mutex_);
    ++join_scopes_;
  }
  released_.notify_all();
}

void QtUiLoop::EndJoiningWorkers() {
  std::lock_guard lock(mutex_);
  --join_scopes_;
}

void QtUiLoop::StopDelivering() {
  {
    std::lock_guard lock(mutex_);
    stopped_.store(true, std::memory_order_release);
  }
  released_.notify_all();
  // The core's ticks end with it, and so do its modal waits.
  for (auto& [id, timer] : timers_) {
    if (timer) timer->stop();
  }
  for (ModalWait& wait : modal_waits_) wait.loop->quit();
}

UiLoop::TimerId QtUiLoop::StartTimer(int32_t period_ms, Task tick) {
  auto* timer = new QTimer(this);
  timer->setInterval(period_ms);
  connect(timer, &QTimer::timeout, this, [this, tick = std::move(tick)] {
    tick();
    CheckModalWait();
  });
  timer->start();
  const TimerId id = next_timer_++;
  timers_[id] = timer;
  return id;
}

void QtUiLoop::KillTimer(TimerId id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  // The tick that kills its own timer is still running inside it.
  if (QTimer* timer = it->second.data()) {
    timer->stop();
    timer->deleteLater();
  }
  timers_.erase(it);
}

void QtUiLoop::RunModal(const std::function<bool()>& done) {
  if (done() || IsStopped()) return;
  QEventLoop loop;
  modal_waits_.push_back({&loop, &done});
  QTimer recheck;
  connect(&recheck, &QTimer::timeout, &loop, [this] { CheckModalWait(); });
  recheck.start(kModalRecheckMs);
  loop.exec();
  modal_waits_.pop_back();
}

void QtUiLoop::CheckModalWait() {
  if (modal_waits_.empty()) return;
  const ModalWait& innermost = modal_waits_.back();
  if (IsStopped() || (*innermost.done)()) innermost.loop->quit();
}

}  // namespace vorn
