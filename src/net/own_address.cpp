#include "net/own_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <array>

namespace vorn {

namespace {

constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFF;
constexpr std::array<uint8_t, 2> kProbeText = {'H', 'i'};
// Short enough that start-up does not notice, long enough not to spin.
constexpr int32_t kProbePollMs = 20;
constexpr int kProbeReadsPerPoll = 64;

uint32_t UsableAddress(const sockaddr* address) {
  if (!address || address->sa_family != AF_INET) return 0;
  uint32_t ip = ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
  return IsLoopback(ip) ? 0 : ip;
}

// Reads the waiting datagrams (a bounded number, so a flood cannot hold
// the probe past its time limit); the source of a 2-byte one is the answer.
uint32_t ReadProbeAnswer(const UdpSocket& socket) {
  std::array<uint8_t, 20> buffer{};
  for (int read = 0; read < kProbeReadsPerPoll; ++read) {
    PeerAddress from;  // stays unset when nothing waits
    bool truncated = false;
    int got = socket.RecvFrom(buffer, from, truncated);
    if (got < 0 || !from.IsSet()) return 0;
    if (got == 2) return from.ip;
  }
  return 0;
}

}  // namespace

uint32_t LookUpHostNameAddress() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return 0;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name.data(), nullptr, &hints, &found) != 0) return 0;
  uint32_t own = 0;
  for (const addrinfo* entry = found; entry && own == 0; entry = entry->ai_next) own = UsableAddress(entry->ai_addr);
  ::freeaddrinfo(found);
  return own;
}

uint32_t FirstInterfaceAddress() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return 0;
  uint32_t own = 0;
  for (const ifaddrs* entry = list; entry && own == 0; entry = entry->ifa_next) {
    if ((entry->ifa_flags & IFF_UP) && !(entry->ifa_flags & IFF_LOOPBACK)) own = UsableAddress(entry->ifa_addr);
  }
  ::freeifaddrs(list);
  return own;
}

uint32_t ProbeOwnAddress(const UdpSocket& socket, Clock& clock, const ProbeSend& send) {
  int64_t start_s = clock.NowSeconds();
  // A failed send is not final: another machine's answer still counts.
  send(socket, {kLimitedBroadcast, kOwnAddressProbePort}, kProbeText);
  for (;;) {
    if (uint32_t own = ReadProbeAnswer(socket)) return own;
    if (clock.NowSeconds() > start_s + kOwnAddressProbeLimitS) return 0;
    clock.SleepMs(kProbePollMs);
  }
}

OwnAddressResult DetermineOwnAddress(std::string_view my_ip, const UdpSocket& socket, Clock& clock,
                                     const OwnAddressSources& sources) {
  if (!my_ip.empty()) {
    uint32_t ip = ParseDottedQuad(my_ip);
    return ip ? OwnAddressResult{ip, {}} : OwnAddressResult{0, kBadMyIpText};
  }
  if (sources.host_name) {
    if (uint32_t ip = sources.host_name()) return {ip, {}};
  }
  if (sources.interfaces) {
    if (uint32_t ip = sources.interfaces()) return {ip, {}};
  }
  if (sources.probe) {
    if (uint32_t ip = sources.probe(socket, clock)) return {ip, {}};
  }
  return {0, kNoOwnAddressText};
}

}  // namespace vorn
