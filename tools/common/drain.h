#pragma once
// The tools' reading of one socket after poll said it is readable.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/peer_address.h"
#include "platform/udp_socket.h"

namespace vorn {

// Bounds one burst of reading, so a flood on one socket cannot starve the
// others or delay a stop.
inline constexpr int kMaxDatagramsPerWake = 64;

// Receive errors that report an earlier send (nobody listening there), or a
// signal: no reason to stop reading.
inline bool IsHarmlessReceiveError(int error) {
  return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH || error == EINTR;
}

// Reads what waits, a bounded burst, into buffer and hands each datagram to
// take(datagram, from, truncated); a truncated one is cut to the buffer.
// Ends early when nothing (or an empty datagram) waits or on a harmless
// error. False on any other receive error, with errno telling which.
template <typename Take>
bool DrainSocket(const UdpSocket& socket, std::span<uint8_t> buffer, Take take) {
  for (int i = 0; i < kMaxDatagramsPerWake; ++i) {
    PeerAddress from;
    bool truncated = false;
    const int got = socket.RecvFrom(buffer, from, truncated);
    if (got == 0 || (got < 0 && IsHarmlessReceiveError(errno))) return true;
    if (got < 0) return false;
    take(buffer.first(truncated ? buffer.size() : static_cast<size_t>(got)), from, truncated);
  }
  return true;
}

}  // namespace vorn
