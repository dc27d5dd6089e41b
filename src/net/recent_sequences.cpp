#include "net/recent_sequences.h"

namespace vorn {

// Distances are taken in 64 bits: sequence numbers are signed 32-bit and
// compared as such, so a sender that wraps starts afresh only after the
// silence that resets its history.
RecentSequences::Verdict RecentSequences::Record(int32_t sequence) {
  if (!any_) {
    any_ = true;
    highest_ = sequence;
    return Verdict::kNew;
  }
  const int64_t distance = int64_t{highest_} - sequence;
  if (distance < 0) {
    const int64_t ahead = -distance;
    below_ = ahead >= kWindow ? 0 : (below_ << ahead) | (uint64_t{1} << (ahead - 1));
    highest_ = sequence;
    return Verdict::kNew;
  }
  if (distance == 0) return Verdict::kRepeat;
  if (distance > kWindow) return Verdict::kTooOld;
  const uint64_t bit = uint64_t{1} << (distance - 1);
  if ((below_ & bit) != 0) return Verdict::kRepeat;
  below_ |= bit;
  return Verdict::kLate;
}

}  // namespace vorn
