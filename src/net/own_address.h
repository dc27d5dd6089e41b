#pragma once
// Finding this machine's own IPv4 address at start-up: the configured text,
// else the host name, else the interfaces, else a broadcast probe that hears
// itself. Each source can be replaced or switched off (empty function), so
// tests never depend on the host's names or send a broadcast outside a
// namespace of their own.
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "platform/clock.h"
#include "platform/peer_address.h"
#include "platform/udp_socket.h"

namespace vorn {

inline constexpr std::string_view kBadMyIpText = "Cannot resolve my_ip from VORN95.INI!";
inline constexpr std::string_view kNoOwnAddressText = "Cannot determine local ip#";

// The probe always goes to this port, whatever port the socket is bound to.
inline constexpr uint16_t kOwnAddressProbePort = 2213;
// The probe gives up once the calendar second exceeds its start second by more than this.
inline constexpr int64_t kOwnAddressProbeLimitS = 3;

// Addresses of 127.0.0.0/8 are useless to other machines.
inline bool IsLoopback(uint32_t ip) { return ip >> 24 == 127; }

// The first non-loopback IPv4 address the host name resolves to, 0 if none.
// Hosts commonly map their name to 127.0.1.1, which no other machine reaches.
uint32_t LookUpHostNameAddress();

// The first non-loopback IPv4 address of an interface that is up, 0 if none.
uint32_t FirstInterfaceAddress();

using ProbeSend = std::function<int(const UdpSocket& socket, PeerAddress to, std::span<const uint8_t> data)>;

// Sends "Hi" to 255.255.255.255 and takes the source of the first datagram of
// exactly 2 bytes that the socket then reads; 0 after the time limit on clock.
// The socket must be non-blocking.
uint32_t ProbeOwnAddress(const UdpSocket& socket, Clock& clock, const ProbeSend& send);

struct OwnAddressSources {
  std::function<uint32_t()> host_name = LookUpHostNameAddress;
  std::function<uint32_t()> interfaces = FirstInterfaceAddress;
  std::function<uint32_t(const UdpSocket&, Clock&)> probe = [](const UdpSocket& socket, Clock& clock) {
    return ProbeOwnAddress(socket, clock, [](const UdpSocket& s, PeerAddress to, std::span<const uint8_t> data) {
      return s.SendTo(to, data);
    });
  };
};

struct OwnAddressResult {
  uint32_t ip = 0;         // host order; 0 on failure
  std::string_view error;  // the failure's message text, empty on success
};

// my_ip, when not empty, is the only source and must parse. socket is the
// endpoint's bound, non-blocking socket, which the probe uses.
OwnAddressResult DetermineOwnAddress(std::string_view my_ip, const UdpSocket& socket, Clock& clock,
                                     const OwnAddressSources& sources);

}  // namespace vorn
