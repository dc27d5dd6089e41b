#pragma once
// Text on its way to an output that may be slow (a pipe nobody reads, a
// busy UI thread): the thread that appends only queues it. The queue is
// bounded in bytes, and in lines per time window, overall and per kind of
// line (lines alike but for their digits: the same notice about many
// addresses). What is held back is counted and told in one summary line
// once its window has ended: "N similar lines suppressed".
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/message_window.h"

namespace vorn {

struct QueuedText {
  std::string text;
  MessageClass cls = MessageClass::Server;
};

class LineQueue {
 public:
  struct Limits {
    size_t max_bytes = 64 * 1024;
    uint32_t lines_per_window = 200;
    uint32_t similar_per_window = 10;
    int32_t window_ms = 1000;
  };

  explicit LineQueue(const Clock& clock) : LineQueue(clock, Limits{}) {}
  LineQueue(const Clock& clock, Limits limits) : clock_(clock), limits_(limits) {}

  // Any thread; false when the text is held back.
  bool Push(std::string_view text, MessageClass cls);
  // Any thread: the queued texts, with the summaries of the windows that
  // have ended (with final, of every window).
  std::vector<QueuedText> Take(bool final = false);
  // The same, waiting up to max_wait (or until stop) while there is nothing.
  std::vector<QueuedText> WaitAndTake(std::stop_token stop, std::chrono::milliseconds max_wait);
  size_t QueuedBytes() const;

 private:
  // One kind of line in its current window.
  struct Kind {
    uint64_t key = 0;
    int32_t window_start_ms = 0;
    uint32_t shown = 0;
    uint32_t held = 0;
    bool used = false;
  };
  using Lock = std::unique_lock<std::mutex>;

  Kind& KindOf(uint64_t key, int32_t now_ms, const Lock& lock);
  // Ends the windows that are over (all with final), queueing their summaries.
  void EndWindows(int32_t now_ms, bool final, const Lock& lock);
  void EndKind(Kind& kind, const Lock& lock);
  void Queue(std::string text, MessageClass cls, const Lock& lock);

  const Clock& clock_;
  const Limits limits_;
  mutable std::mutex mutex_;
  std::condition_variable_any ready_;
  std::vector<QueuedText> queued_;
  size_t queued_bytes_ = 0;
  std::array<Kind, 32> kinds_{};
  int32_t window_start_ms_ = 0;
  uint32_t shown_in_window_ = 0;
  uint32_t dropped_ = 0;  // over the overall limits in this window
};

}  // namespace vorn
