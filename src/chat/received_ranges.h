#pragma once
// The byte ranges of a download that have arrived, for fragments that come
// out of order: which bytes are held, and how far the file is whole from
// its start. A fixed number of ranges, so a sender cannot make it grow by
// scattering small fragments; a fragment that would need one more is
// refused (and, not acknowledged, comes again later).
#include <array>
#include <cstddef>
#include <cstdint>

namespace vorn {

class ReceivedRanges {
 public:
  static constexpr size_t kMaxRanges = 64;

  bool Holds(uint64_t begin, uint64_t end) const;
  // Whether [begin, end) can be added without exceeding kMaxRanges.
  bool CanAdd(uint64_t begin, uint64_t end) const;
  void Add(uint64_t begin, uint64_t end);
  // The bytes held from offset 0 without a gap.
  uint64_t whole() const { return count_ > 0 && ranges_[0].begin == 0 ? ranges_[0].end : 0; }
  uint64_t held() const;
  void Clear() { count_ = 0; }

 private:
  struct Range {
    uint64_t begin = 0;
    uint64_t end = 0;
  };
  // The first range that ends at or after begin: where [begin, end) touches
  // or follows.
  size_t FirstTouching(uint64_t begin) const;
  size_t LastTouching(size_t first, uint64_t end) const;

  std::array<Range, kMaxRanges> ranges_{};  // sorted, disjoint, not adjacent
  size_t count_ = 0;
};

}  // namespace vorn
