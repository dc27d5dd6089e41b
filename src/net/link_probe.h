#pragma once
// The link probe between Vorn nodes: a question and its answer, once a
// second to each peer that game frames go to or come from. It carries the
// node's capability announcement (so that game peers, not only chat peers,
// learn what the other side can do) and what each side counted, from which
// the asking side learns the round trip and the loss on its path. Nodes
// that follow the protocol ignore the type byte and never answer, so they
// never announce anything.
//
// Layout ("VORN+", 26 bytes):
//    0  5  "VORN+"
//    5  1  kind: 'q' question, 'a' answer
//    6 12  the sender's capability field (net/peer_capabilities.h)
//   18  4  probe number, little-endian; an answer echoes the question's
//   22  4  game datagrams the sender received from the other side so far,
//          little-endian, counted modulo 2^32
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vorn {

inline constexpr char kTypeLinkProbe = '+';
inline constexpr size_t kLinkProbeSize = 26;

enum class LinkProbeKind : uint8_t { kQuestion = 'q', kAnswer = 'a' };

struct LinkProbe {
  LinkProbeKind kind = LinkProbeKind::kQuestion;
  uint32_t capabilities = 0;  // 0: the field announced nothing
  uint32_t number = 0;
  uint32_t received = 0;
};

// Writes probe into out (at least kLinkProbeSize bytes); the size written,
// 0 when it does not fit.
size_t BuildLinkProbe(std::span<uint8_t> out, const LinkProbe& probe);
// nullopt for anything but a whole probe of a known kind.
std::optional<LinkProbe> ParseLinkProbe(std::span<const uint8_t> datagram);

}  // namespace vorn
