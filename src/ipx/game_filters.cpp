#include "ipx/game_filters.h"

#include <algorithm>

namespace vorn {

namespace {

constexpr size_t kMarkerOffset = 17;
constexpr std::array<uint8_t, 4> kMarker = {0xFF, 0xFC, 0x00, 0xFA};
constexpr size_t kMarkerKindOffset = 21;

}  // namespace

// ---- DestinationHistory -----------------------------------------------------

size_t DestinationHistory::Find(PeerAddress destination) const {
  for (size_t i = 0; i < kEntries; ++i) {
    if (entries_[i].destination == destination) return i;
  }
  return kEntries;
}

// The smallest stamp, the lowest index on ties; a never used entry keeps 0.
size_t DestinationHistory::Oldest() const {
  size_t oldest = 0;
  for (size_t i = 1; i < kEntries; ++i) {
    if (entries_[i].stamp < entries_[oldest].stamp) oldest = i;
  }
  return oldest;
}

bool DestinationHistory::RecordFrame(PeerAddress destination, int32_t length) {
  bool drop = false;
  size_t index = Find(destination);
  if (index < kEntries) {
    drop = length == kFilteredLength && entries_[index].last_length != kFilteredLength;
  } else {
    index = Oldest();
    entries_[index].destination = destination;
  }
  entries_[index].last_length = length;
  entries_[index].stamp = ++use_counter_;
  return drop;
}

// ---- SenderHistory ----------------------------------------------------------

size_t SenderHistory::Find(PeerAddress sender) const {
  for (size_t i = 0; i < kEntries; ++i) {
    if (entries_[i].sender == sender) return i;
  }
  return kEntries;
}

// A never used entry first; else the sender heard from longest ago, the
// lowest index on ties. Ages are taken modulo 2^32, so the choice survives
// the millisecond clock wrapping; and an entry used at time 0 is not taken
// for an unused one.
size_t SenderHistory::Replaceable(int32_t now_ms) const {
  size_t chosen = 0;
  uint32_t chosen_age = 0;
  for (size_t i = 0; i < kEntries; ++i) {
    if (entries_[i].sender == PeerAddress{}) return i;
    uint32_t age = static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(entries_[i].last_time_ms);
    if (i == 0 || age > chosen_age) {
      chosen = i;
      chosen_age = age;
    }
  }
  return chosen;
}

// An exact repeat is dropped from every sender: the network duplicates
// datagrams, and a Vorn node sends protected copies. A late frame (below
// the highest seen, not seen itself) is taken only where late is asked for.
bool SenderHistory::AcceptFrame(PeerAddress sender, int32_t sequence, int32_t now_ms, bool accept_late) {
  size_t index = Find(sender);
  if (index == kEntries) {
    index = Replaceable(now_ms);
    entries_[index] = Entry{};
    entries_[index].sender = sender;
  }
  Entry& entry = entries_[index];
  const int32_t silence =
      static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(entry.last_time_ms));
  if (silence > kSilenceMs) entry.seen.Reset();  // a sender back after a pause starts afresh
  const RecentSequences::Verdict verdict = entry.seen.Record(sequence);
  if (verdict == RecentSequences::Verdict::kRepeat || verdict == RecentSequences::Verdict::kTooOld) return false;
  if (verdict == RecentSequences::Verdict::kLate && !accept_late) return false;
  entry.last_time_ms = now_ms;
  return true;
}

// ---- RepeatMarkerFilter -----------------------------------------------------

bool RepeatMarkerFilter::AcceptFrame(std::span<const uint8_t> frame, uint16_t sender_port) {
  const bool marked =
      frame.size() > kMarkerKindOffset && std::ranges::equal(frame.subspan(kMarkerOffset, kMarker.size()), kMarker);
  if (!marked) {
    if (state_ != 0 && sender_port == marker_port_) state_ = 0;
    return true;
  }
  marker_port_ = sender_port;
  const uint8_t kind = frame[kMarkerKindOffset];
  if (kind != 1 && kind != 2) {
    state_ = 0;
    return true;
  }
  if (state_ == kind) return false;
  state_ = kind;
  return true;
}

}  // namespace vorn
