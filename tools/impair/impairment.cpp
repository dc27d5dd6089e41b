#include "impair/impairment.h"

namespace vorn {
namespace {

bool IsProbability(double p) { return p >= 0.0 && p <= 1.0; }  // false for NaN too

bool IsDelay(int32_t ms) { return ms >= 0 && ms <= kMaxDelayMs; }

}  // namespace

bool AreValidRates(const ImpairmentRates& rates) {
  return IsProbability(rates.drop) && IsProbability(rates.duplicate) && IsProbability(rates.reorder) &&
         IsDelay(rates.delay_ms) && IsDelay(rates.jitter_ms);
}

uint64_t SplitMix64::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double SplitMix64::NextUnit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

int32_t SplitMix64::NextUpTo(int32_t bound) {
  if (bound <= 0) {
    Next();  // keeps the count of draws fixed
    return 0;
  }
  return static_cast<int32_t>(Next() % (static_cast<uint64_t>(bound) + 1));
}

ImpairDecision Impairer::Decide() {
  double drop = random_.NextUnit();
  double hold = random_.NextUnit();
  double duplicate = random_.NextUnit();
  std::array<int32_t, 2> jitter = {random_.NextUpTo(rates_.jitter_ms), random_.NextUpTo(rates_.jitter_ms)};
  ImpairDecision decision;
  decision.drop = drop < rates_.drop;
  decision.hold = !decision.drop && hold < rates_.reorder;
  decision.copies = !decision.drop && duplicate < rates_.duplicate ? 2 : 1;
  for (size_t i = 0; i < jitter.size(); ++i) decision.delay_ms[i] = rates_.delay_ms + jitter[i];
  return decision;
}

}  // namespace vorn
