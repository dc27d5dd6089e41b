#pragma once
// The serials accepted lately from each peer. A packet whose acknowledgement
// is lost is sent again every 2 s for up to 30 s, with the same serial; the
// text filter forgets after 4 s, so on a lossy line a later copy would be
// shown a second time. Remembering (peer, serial) for longer than a packet
// can be retransmitted shows each packet once however its copies arrive.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vorn {

class SerialHistory {
 public:
  static constexpr size_t kSlots = 256;
  static constexpr int32_t kLifetimeMs = 32'000;

  // True when this serial from this peer was accepted within the lifetime;
  // otherwise it is remembered, in place of the oldest slot.
  bool IsRepeat(int peer_index, uint32_t serial, int32_t now_ms) {
    if (Seen(peer_index, serial, now_ms)) return true;
    Remember(peer_index, serial, now_ms);
    return false;
  }
  // The two halves, for packets remembered only once they were accepted.
  bool Seen(int peer_index, uint32_t serial, int32_t now_ms);
  void Remember(int peer_index, uint32_t serial, int32_t now_ms);
  // The peer's entry now belongs to somebody new, whose serials start again.
  void Forget(int peer_index);

 private:
  struct Slot {
    int peer_index = -1;  // -1: empty
    uint32_t serial = 0;
    int32_t time_ms = 0;
  };

  std::array<Slot, kSlots> slots_{};
  size_t next_ = 0;
};

}  // namespace vorn
