#pragma once
// Time as the core sees it. Every time-out and round trip reads an injected
// Clock, so tests can run 10 s, 30 s and 60 s waits in microseconds.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>

namespace vorn {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since the program started, as a 32-bit value that wraps.
  virtual int32_t NowMs() const = 0;
  // Calendar time in whole seconds.
  virtual int64_t NowSeconds() const = 0;
  // Blocks the calling thread; a manual clock advances instead.
  virtual void SleepMs(int32_t ms) = 0;
};

class SteadyClock final : public Clock {
 public:
  SteadyClock() : start_(std::chrono::steady_clock::now()) {}
  int32_t NowMs() const override;
  int64_t NowSeconds() const override;
  void SleepMs(int32_t ms) override;

 private:
  std::chrono::steady_clock::time_point start_;
};

// A clock that moves only when told to. Safe to read from any thread.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(int64_t start_seconds = 1'000'000) : seconds_base_(start_seconds) {}
  int32_t NowMs() const override { return static_cast<int32_t>(ms_.load(std::memory_order_acquire)); }
  int64_t NowSeconds() const override { return seconds_base_ + ms_.load(std::memory_order_acquire) / 1000; }
  void SleepMs(int32_t ms) override {
    Advance(ms);
    if (sleep_hook_) sleep_hook_();
  }
  void Advance(int64_t ms) { ms_.fetch_add(ms, std::memory_order_acq_rel); }
  // Runs on the sleeping thread after each SleepMs has advanced the time: a
  // test lets loopback traffic land there, which a real sleep would allow.
  // Set it before any thread sleeps on this clock.
  void SetSleepHook(std::function<void()> hook) { sleep_hook_ = std::move(hook); }

 private:
  int64_t seconds_base_;
  std::atomic<int64_t> ms_{0};
  std::function<void()> sleep_hook_;
};

}  // namespace vorn
