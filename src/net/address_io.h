#pragma once
// The address fields of the wire formats: a node (IPv4 address and UDP
// port, big-endian, six bytes) and an IPX socket number (two bytes).
#include <span>

#include "net/messages.h"
#include "platform/byte_io.h"
#include "platform/peer_address.h"

namespace vorn {

inline PeerAddress ReadAddress(ByteReader& r) {
  PeerAddress address;
  address.ip = r.U32Be();
  address.port = r.U16Be();
  return address;
}

inline void WriteAddress(ByteWriter& w, PeerAddress address) {
  w.U32Be(address.ip);
  w.U16Be(address.port);
}

// An empty socket when the input ends first (the reader's flag says so).
inline IpxSocket ReadSocket(ByteReader& r) {
  std::span<const uint8_t> bytes = r.Bytes(2);
  return bytes.empty() ? IpxSocket{} : IpxSocket{bytes[0], bytes[1]};
}

}  // namespace vorn
