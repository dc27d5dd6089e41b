#include "platform/rate_limit.h"

#include <algorithm>

namespace vorn {
namespace {

int32_t ElapsedMs(int32_t since_ms, int32_t now_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(since_ms));
}

uint32_t Clamp32(size_t value) { return static_cast<uint32_t>(std::min<size_t>(value, UINT32_MAX / 1000)); }

}  // namespace

bool TokenBucket::Take(int32_t now_ms, uint32_t cost) {
  if (started_) {
    const int32_t elapsed_ms = ElapsedMs(last_ms_, now_ms);
    // A clock that went back refills nothing; a long pause at most the burst.
    if (elapsed_ms > 0) tokens_milli_ = std::min(burst_milli_, tokens_milli_ + uint64_t(elapsed_ms) * per_second_);
  }
  started_ = true;
  last_ms_ = now_ms;
  const uint64_t cost_milli = uint64_t{cost} * 1000;
  if (tokens_milli_ < cost_milli) return false;
  tokens_milli_ -= cost_milli;
  return true;
}

void TokenBucket::Add(uint32_t tokens) {
  tokens_milli_ = std::min(burst_milli_, tokens_milli_ + uint64_t{tokens} * 1000);
}

SourceLimiter::Entry& SourceLimiter::EntryFor(PeerAddress source, int32_t now_ms) {
  for (Entry& entry : entries_) {
    if (!entry.source.IsSet() || entry.source != source) continue;
    if (ElapsedMs(entry.last_ms, now_ms) >= limits_.quiet_ms) entry.bytes.Fill();
    return entry;
  }
  // A free entry, or else the one unused longest.
  auto age = [now_ms](const Entry& e) {
    return e.source.IsSet() ? static_cast<uint32_t>(ElapsedMs(e.last_ms, now_ms)) : UINT32_MAX;
  };
  Entry& room = *std::max_element(entries_.begin(), entries_.end(),
                                  [&](const Entry& a, const Entry& b) { return age(a) < age(b); });
  room = Entry{source, TokenBucket(limits_.burst_bytes, 0), now_ms};
  return room;
}

bool SourceLimiter::Allow(PeerAddress source, int32_t now_ms, size_t request_bytes, size_t answer_bytes) {
  Entry& entry = EntryFor(source, now_ms);
  entry.last_ms = now_ms;
  entry.bytes.Add(Clamp32(request_bytes));
  // The source's own budget first: a flood from one address must not spend
  // the overall tokens that everybody else's answers need.
  if (entry.bytes.Take(now_ms, Clamp32(answer_bytes)) && overall_.Take(now_ms)) return true;
  ++refused_;
  return false;
}

}  // namespace vorn
