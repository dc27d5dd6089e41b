#pragma once
// What one link's probes taught: the round trip and its jitter, and how
// many game datagrams were sent and arrived between answers, kept for the
// last minute. From it, automatic loss protection decides.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vorn {

struct LinkSecond {
  int32_t rtt_ms = 0;
  int32_t jitter_ms = 0;
  uint32_t sent = 0;  // datagrams sent in the interval
  int32_t lost = 0;   // sent minus arrived; may be below 0 for one interval
  bool protecting = false;
};

class LinkStats {
 public:
  static constexpr size_t kHistory = 60;  // about one answer a second
  // The loss shown: over the last half minute.
  static constexpr size_t kShownWindow = 30;
  // Protection goes on once the last minute lost at least this many
  // datagrams and more than 0.5% of what was sent (a link that carries a
  // few frames a second gathers that evidence as surely as a busy one,
  // only later), and off once a minute since then stayed below 0.1%.
  static constexpr int64_t kOnMinimumLost = 4;
  static constexpr int64_t kOnPerMille = 5;
  // ... and only when a good line, losing 0.2%, would lose that much by
  // chance less often than this: the first seconds' few hundred datagrams
  // are no evidence of 0.5% on their own (4 of 400 is 1%).
  static constexpr int64_t kCleanPerMille = 2;
  static constexpr double kOnChance = 1e-4;
  static constexpr int64_t kOffPerMille = 1;
  static constexpr int32_t kOffAfterMs = 60'000;
  // Below this many datagrams a minute a link is too thin to judge alone.
  static constexpr uint64_t kEvidenceSent = 200;

  void OnRoundTrip(int32_t rtt_ms);
  // The counts of one interval between two answers. protecting: whether
  // copies went out in it.
  void OnInterval(uint32_t sent, uint32_t arrived, bool protecting);
  // Automatic's decision after the latest interval.
  bool DecideAutomatic(bool on, int32_t now_ms);
  static double ChanceOnACleanLink(int64_t lost, uint64_t sent);

  int32_t rtt_ms() const { return rtt_ms_; }
  int32_t jitter_ms() const { return jitter_ms_; }
  bool measured() const { return round_trips_ > 0; }
  // Whether the last minute carried enough to judge the link by itself.
  bool HasEvidence() const { return Last(kHistory).sent >= kEvidenceSent; }
  // Loss over the last count intervals, in percent (0 when nothing was sent).
  double LossPercent(size_t count = kShownWindow) const;
  // The last count intervals, oldest first (fewer when fewer were seen).
  size_t History(std::array<LinkSecond, kHistory>& out) const;

 private:
  struct Sums {
    uint64_t sent = 0;
    int64_t lost = 0;
  };
  Sums Last(size_t count) const;

  int32_t rtt_ms_ = 0;
  int32_t jitter_ms_ = 0;
  uint32_t round_trips_ = 0;
  std::array<LinkSecond, kHistory> ring_{};
  size_t next_ = 0;
  size_t count_ = 0;
  int32_t on_since_ms_ = 0;
};

}  // namespace vorn
