#pragma once
// When an unacknowledged chat packet is sent again. Each peer keeps a
// smoothed round trip and its variation, measured only on packets that were
// never resent (an acknowledgement of a resent packet cannot say which copy
// it answers), and the resend interval follows them: a fast link resends
// soon, a slow one does not flood itself with copies. Each further loss of
// the same packet doubles its interval, up to the 2 s the chat always
// allowed, so a peer that merely went quiet is not sent less often than
// before.
#include <algorithm>
#include <cstdint>

namespace vorn {

class RoundTripEstimator {
 public:
  static constexpr int32_t kMinIntervalMs = 200;
  static constexpr int32_t kMaxIntervalMs = 2000;
  // Before the first measurement: a second, as TCP starts.
  static constexpr int32_t kInitialIntervalMs = 1000;

  void Sample(int32_t round_trip_ms) {
    round_trip_ms = std::max(round_trip_ms, 0);
    if (!measured_) {
      smoothed_ = round_trip_ms;
      variation_ = round_trip_ms / 2;
      measured_ = true;
      return;
    }
    int32_t error = round_trip_ms - smoothed_;
    variation_ += ((error < 0 ? -error : error) - variation_) / 4;
    smoothed_ += error / 8;
  }

  int32_t ResendIntervalMs() const {
    if (!measured_) return kInitialIntervalMs;
    return std::clamp(smoothed_ + 4 * variation_, kMinIntervalMs, kMaxIntervalMs);
  }
  bool measured() const { return measured_; }
  int32_t smoothedMs() const { return smoothed_; }

 private:
  bool measured_ = false;
  int32_t smoothed_ = 0;
  int32_t variation_ = 0;
};

// The interval after one more loss of the same packet.
inline int32_t BackedOffIntervalMs(int32_t interval_ms) {
  return std::min(interval_ms * 2, RoundTripEstimator::kMaxIntervalMs);
}

}  // namespace vorn
