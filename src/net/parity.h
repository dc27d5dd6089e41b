#pragma once
// The parity datagram between Vorn nodes: the XOR of the two game
// datagrams last sent on a link, so that the receiver rebuilds either one
// from the other when it was lost. It replaces the plain second copy of a
// protected datagram at the same cost and loses about ten times fewer: a
// datagram is lost only with both parities that cover it (or their other
// halves). Nodes that follow the protocol never receive one.
//
// Layout ("VORN^", 17 bytes and the coded bytes):
//    0  5  "VORN^"
//    5  2  size of the older datagram, little-endian
//    7  4  its hash (FNV-1a, 32 bits), little-endian
//   11  2  size of the newer datagram
//   13  4  its hash
//   17  n  the two XORed, the shorter padded with zeros; n is the larger
//          size, 1 to kMaxCodedSize
// The datagrams are the bytes as the receiving node takes them off its
// link: after the wrap of its own proxy, before anything else.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vorn {

inline constexpr char kTypeParity = '^';
inline constexpr size_t kParityHeaderSize = 17;
// Longer datagrams get the plain second copy: no game frame comes close.
inline constexpr size_t kMaxCodedSize = 1024;
inline constexpr size_t kMaxParitySize = kParityHeaderSize + kMaxCodedSize;

uint32_t ParityHash(std::span<const uint8_t> head, std::span<const uint8_t> tail = {});

// One coded datagram as the parity names it.
struct ParityHalf {
  uint16_t size = 0;
  uint32_t hash = 0;
};

struct ParityView {
  ParityHalf older;
  ParityHalf newer;
  std::span<const uint8_t> coded;  // the larger size of the two
};

// Writes the parity of older and the datagram head+tail into out (at
// least kMaxParitySize bytes); the size written, 0 when a datagram is
// empty or longer than kMaxCodedSize.
size_t BuildParity(std::span<uint8_t> out, std::span<const uint8_t> older, std::span<const uint8_t> head,
                   std::span<const uint8_t> tail);
// nullopt for anything but a whole parity whose sizes agree with its length.
std::optional<ParityView> ParseParity(std::span<const uint8_t> datagram);

}  // namespace vorn
