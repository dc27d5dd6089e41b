#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

// An IPv4 address and UDP port in host byte order; address 0 means none.
struct PeerAddress {
  uint32_t ip = 0;
  uint16_t port = 0;

  bool IsSet() const { return ip != 0; }
  friend bool operator==(const PeerAddress&, const PeerAddress&) = default;
};

// The one address parser: dotted IPv4 text with an optional leading "[",
// each of the four parts taken from its leading decimal digits (none give 0)
// and cut to 8 bits. Returns the host-order address, 0 when fewer than four
// parts are found. Host names are never resolved here.
uint32_t ParseDottedQuad(std::string_view text);

// An address text "a.b.c.d" optionally followed by ":" and a port. The port
// is the decimal value after the first ":" cut to 16 bits (0 when it is not a
// number), default_port when there is no ":".
PeerAddress ParseAddressWithPort(std::string_view text, uint16_t default_port);

// "a.b.c.d" for a host-order address.
std::string FormatIp(uint32_t ip);
// "a.b.c.d:port".
std::string FormatPeer(PeerAddress peer);

}  // namespace vorn
