#include "net/link_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vorn {

// Smoothed as TCP smooths its round trip (1/8), the jitter as RTP does
// (1/16 of the change between two round trips).
void LinkStats::OnRoundTrip(int32_t rtt_ms) {
  rtt_ms = std::max(rtt_ms, 0);
  if (round_trips_++ == 0) {
    rtt_ms_ = rtt_ms;
    return;
  }
  const int32_t change = std::abs(rtt_ms - rtt_ms_);
  rtt_ms_ += (rtt_ms - rtt_ms_) / 8;
  jitter_ms_ += (change - jitter_ms_) / 16;
}

// An interval's own loss can be off by the frames in flight at its edges;
// sums over several intervals cancel that out, so no interval is clipped.
void LinkStats::OnInterval(uint32_t sent, uint32_t arrived, bool protecting) {
  ring_[next_] = LinkSecond{rtt_ms_, jitter_ms_, sent, static_cast<int32_t>(int64_t{sent} - arrived), protecting};
  next_ = (next_ + 1) % kHistory;
  count_ = std::min(count_ + 1, kHistory);
}

LinkStats::Sums LinkStats::Last(size_t count) const {
  Sums sums;
  count = std::min(count, count_);
  for (size_t i = 1; i <= count; ++i) {
    const LinkSecond& second = ring_[(next_ + kHistory - i) % kHistory];
    sums.sent += second.sent;
    sums.lost += second.lost;
  }
  return sums;
}

double LinkStats::LossPercent(size_t count) const {
  const Sums sums = Last(count);
  if (sums.sent == 0 || sums.lost <= 0) return 0;
  return 100.0 * static_cast<double>(sums.lost) / static_cast<double>(sums.sent);
}

// The chance that a clean link, one losing kCleanPerMille, loses at least
// lost of sent datagrams (Poisson). Beyond a mean of a few hundred the
// ratio alone is sure enough, and the terms would underflow.
double LinkStats::ChanceOnACleanLink(int64_t lost, uint64_t sent) {
  const double mean = static_cast<double>(sent) * kCleanPerMille / 1000.0;
  if (mean > 500) return 0;
  double term = std::exp(-mean), below = 0;
  for (int64_t i = 0; i < lost; ++i) {
    below += term;
    term *= mean / static_cast<double>(i + 1);
  }
  return std::max(1.0 - below, 0.0);
}

bool LinkStats::DecideAutomatic(bool on, int32_t now_ms) {
  if (!on) {
    const Sums sums = Last(kHistory);
    if (sums.lost < kOnMinimumLost) return false;
    if (sums.lost * 1000 <= static_cast<int64_t>(sums.sent) * kOnPerMille) return false;
    if (ChanceOnACleanLink(sums.lost, sums.sent) > kOnChance) return false;
    on_since_ms_ = now_ms;
    return true;
  }
  if (static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(on_since_ms_)) < kOffAfterMs)
    return true;
  const Sums sums = Last(kHistory);
  return sums.lost * 1000 >= static_cast<int64_t>(sums.sent) * kOffPerMille;
}

size_t LinkStats::History(std::array<LinkSecond, kHistory>& out) const {
  for (size_t i = 0; i < count_; ++i) out[i] = ring_[(next_ + kHistory - count_ + i) % kHistory];
  return count_;
}

}  // namespace vorn
