#pragma once
// Limits on answers to requests that anyone may send. An answer larger than
// its request turns a node into an amplifier for whoever forges a victim's
// address, so answers are paid for: each source has a budget of answer
// bytes, a burst for its first few answers that comes back only after it
// has been quiet a while, plus whatever its requests themselves weigh, so
// a flood gets at most as many bytes back as it sends. One bucket for all
// sources together bounds what many fresh sources get. Time comes in as an
// argument (the caller's clock) and the table of sources is fixed, so a
// flood from many addresses costs no memory, and tests need no sleeping.
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/peer_address.h"

namespace vorn {

class TokenBucket {
 public:
  // burst tokens at most, refilled at per_second; starts full.
  constexpr TokenBucket(uint32_t burst, uint32_t per_second)
      : burst_milli_(uint64_t{burst} * 1000), per_second_(per_second), tokens_milli_(burst_milli_) {}

  // Takes cost tokens when there are as many; now_ms is a 32-bit
  // millisecond clock that may wrap.
  bool Take(int32_t now_ms, uint32_t cost = 1);
  // Adds tokens, never beyond the burst.
  void Add(uint32_t tokens);
  void Fill() { tokens_milli_ = burst_milli_; }

 private:
  uint64_t burst_milli_;
  uint32_t per_second_;
  uint64_t tokens_milli_;
  int32_t last_ms_ = 0;
  bool started_ = false;
};

struct RateLimits {
  uint32_t burst;
  uint32_t per_second;
};

struct AnswerLimits {
  uint32_t burst_bytes;  // a source's first answers
  int32_t quiet_ms;      // a source silent this long has its burst again
  RateLimits overall;    // answers per second to all sources together
};

// One thread only (the one that answers).
class SourceLimiter {
 public:
  // Sources remembered at once; the one unused longest makes room for a new
  // one.
  static constexpr size_t kSources = 64;

  explicit SourceLimiter(AnswerLimits limits)
      : limits_(limits), overall_(limits.overall.burst, limits.overall.per_second) {}

  // A request of request_bytes from source: whether its answer of
  // answer_bytes may go now. Spends the budget when it may.
  bool Allow(PeerAddress source, int32_t now_ms, size_t request_bytes, size_t answer_bytes);
  uint64_t refused() const { return refused_; }

 private:
  struct Entry {
    PeerAddress source;
    TokenBucket bytes{0, 0};
    int32_t last_ms = 0;
  };
  Entry& EntryFor(PeerAddress source, int32_t now_ms);

  AnswerLimits limits_;
  TokenBucket overall_;
  std::array<Entry, kSources> entries_{};
  uint64_t refused_ = 0;
};

}  // namespace vorn
