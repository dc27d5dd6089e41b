#pragma once
// Which game frames of one sender were seen: the highest sequence number
// and, as bits, which of the 64 numbers below it. Enough to tell an exact
// repeat (a protected copy, a duplicate made by the network) from a frame
// that is merely late, without any allocation.
#include <cstdint>

namespace vorn {

class RecentSequences {
 public:
  static constexpr int64_t kWindow = 64;

  enum class Verdict { kNew, kLate, kRepeat, kTooOld };

  // What sequence is, and records it unless it is a repeat or too old to
  // tell (more than the window below the highest).
  Verdict Record(int32_t sequence);
  void Reset() { *this = RecentSequences{}; }

 private:
  bool any_ = false;
  int32_t highest_ = 0;
  uint64_t below_ = 0;  // bit d-1: highest_ - d was seen
};

}  // namespace vorn
