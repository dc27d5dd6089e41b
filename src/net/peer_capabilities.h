#pragma once
// What each peer said it can do beyond the protocol. Every extension between
// Vorn nodes is used toward a peer only after that peer announced it, and is
// read from this one table; toward anyone else a node behaves exactly as
// the protocol describes.
//
// The announcement rides in a 12-byte field that peers following the
// protocol send as zeros and never read (the reserved bytes of the chat
// header). Its layout:
//    0  4  "VNXC"
//    4  1  version, 1
//    5  1  zero
//    6  4  capability flags, little-endian
//   10  2  zeros
// Anything else, zeros and random bytes alike, announces nothing.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

#include "platform/peer_address.h"

namespace vorn {

namespace capability {
// Many file fragments in flight at once, received at their offsets.
inline constexpr uint32_t kWindowedTransfer = 1u << 0;
// Game frames: an exact repeat of a frame already delivered is dropped, so
// this node may be sent protected copies.
inline constexpr uint32_t kDropsRepeats = 1u << 1;
// Game frames: a parity datagram (net/parity.h) rebuilds a lost one, so
// this node may be sent parities instead of plain second copies.
inline constexpr uint32_t kDecodesParity = 1u << 2;
}  // namespace capability

inline constexpr size_t kCapabilityFieldSize = 12;

// Writes the announcement of flags into field (at least 12 bytes); flags 0
// leaves the field as zeros, as peers that follow the protocol send it.
void WriteCapabilityField(std::span<uint8_t> field, uint32_t flags);
// The flags a field announces; nullopt when it announces nothing.
std::optional<uint32_t> ReadCapabilityField(std::span<const uint8_t> field);

// The latest announcement of each peer, for a bounded number of peers: when
// full, the peer heard from longest ago gives way. Any thread.
class PeerCapabilities {
 public:
  static constexpr size_t kMaxPeers = 256;

  // What a packet from peer announced: its flags, or 0 when it carried none
  // (a peer that restarts with an extension off stops announcing it).
  void Record(PeerAddress peer, uint32_t flags, int32_t now_ms);
  bool Has(PeerAddress peer, uint32_t flag) const;
  // What this node announces everywhere it announces anything. Any thread.
  void SetOwn(uint32_t flags) { own_.store(flags, std::memory_order_relaxed); }
  uint32_t Own() const { return own_.load(std::memory_order_relaxed); }

 private:
  struct Entry {
    PeerAddress peer;  // ip 0 and port 0: free
    uint32_t flags = 0;
    int32_t seen_ms = 0;
  };
  Entry* FindLocked(PeerAddress peer);
  Entry& TakeLocked();

  std::atomic<uint32_t> own_{0};
  mutable std::mutex mutex_;
  std::array<Entry, kMaxPeers> entries_{};
};

}  // namespace vorn
