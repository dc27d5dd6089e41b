#pragma once
// The receiving side of parity datagrams: keeps the last datagrams of each
// link that codes with this node, and rebuilds a lost one from a parity
// and its other half. A rebuilt datagram is checked against the hash its
// parity names and handed on as if the link had delivered it, so every
// gate, the repeat filter and the relay apply as to any other; it may in
// turn complete a parity that was waiting for it.
//
// Receive thread only. The table is allocated once; nothing allocates on a
// packet.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "net/parity.h"
#include "platform/peer_address.h"

namespace vorn {

class ParityDecoder {
 public:
  static constexpr size_t kMaxLinks = 16;
  // A link's datagrams between one and the parity after the next, with
  // room for what jitter reorders at a few hundred datagrams a second.
  static constexpr size_t kKept = 16;
  static constexpr size_t kWaiting = 8;

  // Whether link is a Vorn node that codes with this one (it announced
  // the capability); anyone else's parity is dropped unread.
  using AcceptsFunction = std::function<bool(PeerAddress link)>;
  // A rebuilt datagram, as link would have delivered it.
  using RebuiltFunction = std::function<void(std::span<const uint8_t> datagram, PeerAddress link)>;

  ParityDecoder(AcceptsFunction accepts, RebuiltFunction rebuilt);

  // A datagram link delivered (Framed::link_datagram, after dispatch): kept
  // when link codes with this node and it is a game datagram.
  void Note(std::span<const uint8_t> datagram, PeerAddress link);
  // The handler of "VORN^". True when the parity counts as a datagram of
  // the link: whole, and from a link that codes with this node.
  bool OnParity(std::span<const uint8_t> datagram, PeerAddress link);

 private:
  struct Kept {
    uint16_t size = 0;  // 0: free
    uint32_t hash = 0;
    std::array<uint8_t, kMaxCodedSize> bytes;
  };
  struct Waiting {
    bool used = false;
    ParityHalf older;
    ParityHalf newer;
    uint16_t size = 0;
    std::array<uint8_t, kMaxCodedSize> coded;
  };
  struct Link {
    PeerAddress peer;  // unset: free
    uint64_t last_use = 0;
    size_t next_kept = 0;
    size_t next_waiting = 0;
    std::array<Kept, kKept> kept;
    std::array<Waiting, kWaiting> waiting;
  };
  enum class Use { kWait, kDone, kRebuilt };

  Link* Find(PeerAddress peer);
  Link& Take(PeerAddress peer);
  static const Kept* FindKept(const Link& link, uint32_t hash);
  static void Keep(Link& link, std::span<const uint8_t> datagram, uint32_t hash);
  Use TryUse(Link& link, ParityHalf older, ParityHalf newer, std::span<const uint8_t> coded, uint32_t& rebuilt_hash);
  void Wait(Link& link, const ParityView& parity);
  void Unlock(Link& link, uint32_t hash);

  AcceptsFunction accepts_;
  RebuiltFunction rebuilt_;
  std::vector<Link> links_;
  uint64_t uses_ = 0;
  std::array<uint8_t, kMaxCodedSize> scratch_{};
};

}  // namespace vorn
