#include "chat/received_ranges.h"

#include <algorithm>

namespace vorn {

size_t ReceivedRanges::FirstTouching(uint64_t begin) const {
  size_t i = 0;
  while (i < count_ && ranges_[i].end < begin) ++i;
  return i;
}

// One past the last range that starts at or before end.
size_t ReceivedRanges::LastTouching(size_t first, uint64_t end) const {
  size_t i = first;
  while (i < count_ && ranges_[i].begin <= end) ++i;
  return i;
}

bool ReceivedRanges::Holds(uint64_t begin, uint64_t end) const {
  size_t i = FirstTouching(begin);
  return i < count_ && ranges_[i].begin <= begin && ranges_[i].end >= end;
}

bool ReceivedRanges::CanAdd(uint64_t begin, uint64_t end) const {
  size_t first = FirstTouching(begin);
  return LastTouching(first, end) > first || count_ < kMaxRanges;
}

void ReceivedRanges::Add(uint64_t begin, uint64_t end) {
  if (begin >= end || !CanAdd(begin, end)) return;
  size_t first = FirstTouching(begin);
  size_t last = LastTouching(first, end);
  if (last == first) {  // touches nothing: a range of its own
    std::copy_backward(ranges_.begin() + first, ranges_.begin() + count_, ranges_.begin() + count_ + 1);
    ranges_[first] = {begin, end};
    ++count_;
    return;
  }
  // Merges ranges first to last - 1 into one.
  Range merged{std::min(begin, ranges_[first].begin), std::max(end, ranges_[last - 1].end)};
  ranges_[first] = merged;
  std::copy(ranges_.begin() + last, ranges_.begin() + count_, ranges_.begin() + first + 1);
  count_ -= last - first - 1;
}

uint64_t ReceivedRanges::held() const {
  uint64_t total = 0;
  for (size_t i = 0; i < count_; ++i) total += ranges_[i].end - ranges_[i].begin;
  return total;
}

}  // namespace vorn
