#include "platform/line_queue.h"

#include <algorithm>

#include "platform/text.h"

namespace vorn {
namespace {

// Lines that differ only in their digits (addresses, ports, counts) are one
// kind.
uint64_t KindKey(std::string_view text, MessageClass cls) {
  uint64_t hash = 1469598103934665603ull ^ static_cast<uint64_t>(cls);
  for (char c : text) {
    if (IsDigit(c)) continue;
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return hash;
}

bool Over(int32_t now_ms, int32_t start_ms, int32_t window_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(start_ms)) >= window_ms;
}

}  // namespace

bool LineQueue::Push(std::string_view text, MessageClass cls) {
  if (text.empty()) return false;
  const int32_t now = clock_.NowMs();
  Lock lock(mutex_);
  EndWindows(now, false, lock);
  Kind& kind = KindOf(KindKey(text, cls), now, lock);
  if (kind.shown >= limits_.similar_per_window) {
    ++kind.held;
    return false;
  }
  if (shown_in_window_ >= limits_.lines_per_window || queued_bytes_ + text.size() > limits_.max_bytes) {
    ++dropped_;
    return false;
  }
  ++kind.shown;
  ++shown_in_window_;
  Queue(std::string(text), cls, lock);
  return true;
}

std::vector<QueuedText> LineQueue::Take(bool final) {
  const int32_t now = clock_.NowMs();
  Lock lock(mutex_);
  EndWindows(now, final, lock);
  queued_bytes_ = 0;
  return std::exchange(queued_, {});
}

std::vector<QueuedText> LineQueue::WaitAndTake(std::stop_token stop, std::chrono::milliseconds max_wait) {
  {
    Lock lock(mutex_);
    ready_.wait_for(lock, stop, max_wait, [this] { return !queued_.empty(); });
  }
  return Take();
}

size_t LineQueue::QueuedBytes() const {
  std::lock_guard lock(mutex_);
  return queued_bytes_;
}

LineQueue::Kind& LineQueue::KindOf(uint64_t key, int32_t now_ms, const Lock& lock) {
  auto found = std::ranges::find_if(kinds_, [key](const Kind& k) { return k.used && k.key == key; });
  if (found != kinds_.end()) return *found;
  // A free place, else the one whose window began first.
  auto place = std::ranges::min_element(kinds_, [now_ms](const Kind& a, const Kind& b) {
    if (a.used != b.used) return !a.used;
    return now_ms - a.window_start_ms > now_ms - b.window_start_ms;
  });
  if (place->used) EndKind(*place, lock);
  *place = Kind{key, now_ms, 0, 0, true};
  return *place;
}

void LineQueue::EndWindows(int32_t now_ms, bool final, const Lock& lock) {
  for (Kind& kind : kinds_) {
    if (kind.used && (final || Over(now_ms, kind.window_start_ms, limits_.window_ms))) EndKind(kind, lock);
  }
  if (!final && !Over(now_ms, window_start_ms_, limits_.window_ms)) return;
  if (dropped_ > 0) Queue(Format("%u lines suppressed: too much output\r\n", dropped_), MessageClass::Server, lock);
  window_start_ms_ = now_ms;
  shown_in_window_ = 0;
  dropped_ = 0;
}

void LineQueue::EndKind(Kind& kind, const Lock& lock) {
  if (kind.held > 0) Queue(Format("%u similar lines suppressed\r\n", kind.held), MessageClass::Server, lock);
  kind.used = false;
}

// Summaries pass the limits: there is at most one per kind and window.
void LineQueue::Queue(std::string text, MessageClass cls, const Lock&) {
  queued_bytes_ += text.size();
  queued_.push_back({std::move(text), cls});
  ready_.notify_one();
}

}  // namespace vorn
