#pragma once
// What the relay does to each datagram of one direction: drop it, send it
// twice, hold it back behind the next one, or delay it. Every decision comes
// from a seeded generator, so a failing run repeats with the same seed.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vorn {

struct ImpairmentRates {
  double drop = 0;        // probability, 0 to 1
  double duplicate = 0;   // probability that a second copy follows
  double reorder = 0;     // probability that it is held back behind the next one
  int32_t delay_ms = 0;   // added to every datagram
  int32_t jitter_ms = 0;  // plus a uniform 0 to jitter_ms, drawn per copy

  friend bool operator==(const ImpairmentRates&, const ImpairmentRates&) = default;
};

// Rates that a relay can honour: probabilities within 0 to 1, delays within
// 0 to kMaxDelayMs.
inline constexpr int32_t kMaxDelayMs = 60'000;
bool AreValidRates(const ImpairmentRates& rates);

// A small generator whose sequence is the same on every platform (the
// standard distributions are not).
class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [0, 1).
  double NextUnit();
  // Uniform in [0, bound], bound >= 0.
  int32_t NextUpTo(int32_t bound);

 private:
  uint64_t state_;
};

struct ImpairDecision {
  bool drop = false;
  bool hold = false;                  // send after the next datagram of this direction
  int copies = 1;                     // 2 when duplicated
  std::array<int32_t, 2> delay_ms{};  // one per copy

  friend bool operator==(const ImpairDecision&, const ImpairDecision&) = default;
};

class Impairer {
 public:
  Impairer(uint64_t seed, const ImpairmentRates& rates) : random_(seed), rates_(rates) {}
  void SetRates(const ImpairmentRates& rates) { rates_ = rates; }
  const ImpairmentRates& rates() const { return rates_; }
  // Draws the same count of numbers whatever the outcome, so that changing
  // one rate does not shift the decisions that the other rates make.
  ImpairDecision Decide();

 private:
  SplitMix64 random_;
  ImpairmentRates rates_;
};

}  // namespace vorn
