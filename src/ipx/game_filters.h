#pragma once
// The three small filters on the game packet paths. They are tuned to
// particular games and keep fixed tables of ten entries, scanned linearly:
// no allocation, and each belongs to one thread, so none takes a lock.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "net/recent_sequences.h"
#include "platform/peer_address.h"

namespace vorn {

// Send thread. Remembers the length of the last short frame to each of the
// last ten destinations; the first 104-byte frame after a frame of another
// length to the same destination is dropped.
class DestinationHistory {
 public:
  static constexpr size_t kEntries = 10;
  static constexpr int32_t kFilteredLength = 104;

  // Records a frame of length bytes to destination; true when it must be
  // dropped (the record is made either way).
  bool RecordFrame(PeerAddress destination, int32_t length);

 private:
  struct Entry {
    PeerAddress destination;
    int32_t last_length = 0;
    uint32_t stamp = 0;  // use counter at the last record; 0 = never used
  };
  size_t Find(PeerAddress destination) const;
  size_t Oldest() const;

  std::array<Entry, kEntries> entries_{};
  uint32_t use_counter_ = 0;
};

// Receive thread. Drops a game frame whose sequence number was already seen
// from the same sender, and one below the highest seen unless late frames
// are taken; a sender silent for more than ten seconds starts afresh. Keeps
// the last ten senders.
class SenderHistory {
 public:
  static constexpr size_t kEntries = 10;
  static constexpr int32_t kSilenceMs = 10'000;

  // True when the frame is accepted (and recorded); false to drop it.
  // accept_late: a frame overtaken by a later one of the same sender is
  // still taken (once) while it is within the last 64 numbers.
  bool AcceptFrame(PeerAddress sender, int32_t sequence, int32_t now_ms, bool accept_late = false);

 private:
  struct Entry {
    PeerAddress sender;  // unset: never used
    int32_t last_time_ms = 0;
    RecentSequences seen;
  };
  size_t Find(PeerAddress sender) const;
  size_t Replaceable(int32_t now_ms) const;

  std::array<Entry, kEntries> entries_{};
};

// Receive thread. Some games repeat a marked frame (bytes 17 to 20 FF FC 00
// FA, byte 21 its kind 1 or 2); a second frame of the same kind in a row is
// dropped, whoever sends it. Any unmarked frame from the port that sent the
// last marker ends the run.
class RepeatMarkerFilter {
 public:
  // frame is the whole game frame from "VORN"; it is read only within its
  // length. True when the frame is accepted.
  bool AcceptFrame(std::span<const uint8_t> frame, uint16_t sender_port);

 private:
  uint8_t state_ = 0;  // 0, or the kind of the last marker accepted
  uint16_t marker_port_ = 0;
};

}  // namespace vorn
