#pragma once
// The frame rules of every received datagram: the "VORN" magic, and the
// unwrapping of "VORNP" wraps that name the datagram's first sender. Kept
// apart from the socket so the rules can be tested and fuzzed on bytes.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/peer_address.h"

namespace vorn {

// The datagram proper (beginning with "VORN" and its type byte) and the
// address that everything done with it must treat as its sender.
struct Framed {
  std::span<const uint8_t> datagram;
  PeerAddress source;
  // Taken out of the server's wrap: a broadcast the server relayed for
  // source, rather than a datagram that source sent straight to us.
  bool relayed = false;
  // Set for a wrap from anyone but the proxy and the server: the address it
  // came from, which claims to speak for source. Only the caller knows
  // whether source greeted through it.
  PeerAddress via;
  // The datagram as its link delivered it (inside this node's proxy's wrap,
  // still in the server's) and that link: the last Vorn node it crossed,
  // which is what a parity covers.
  std::span<const uint8_t> link_datagram;
  PeerAddress link;
};

// Applies the frame rules to one received datagram. from is the address the
// socket reported; proxy and server are the configured proxy and the
// connected server (address 0 = none). A wrap names its sender, so the one
// from anyone else comes back with via set, for the caller to check; the
// proxy's wrap of a server's relay is unwrapped once more, never deeper. The
// result views received: no copies. nullopt: drop the datagram.
std::optional<Framed> FrameDatagram(std::span<const uint8_t> received, PeerAddress from, PeerAddress proxy,
                                    PeerAddress server);

}  // namespace vorn
