#include "net/framing.h"

#include "net/messages.h"

namespace vorn {

namespace {

bool IsWrap(std::span<const uint8_t> datagram) {
  return IsVornFrame(datagram) && datagram[kTypeOffset] == kTypeProxyWrap;
}

bool Matches(PeerAddress from, PeerAddress configured) { return configured.IsSet() && from == configured; }

// Unwraps one level; the inner datagram must itself be framed.
std::optional<Framed> Unwrap(std::span<const uint8_t> wrap) {
  std::optional<ProxyWrap> parsed = ParseProxyWrap(wrap);
  if (!parsed || !IsVornFrame(parsed->inner)) return std::nullopt;
  return Framed{parsed->inner, parsed->address, false, {}, {}, {}};
}

}  // namespace

std::optional<Framed> FrameDatagram(std::span<const uint8_t> received, PeerAddress from, PeerAddress proxy,
                                    PeerAddress server) {
  if (!IsVornFrame(received)) return std::nullopt;
  if (!IsWrap(received)) return Framed{received, from, false, {}, received, from};
  bool from_proxy = Matches(from, proxy);
  std::optional<Framed> framed = Unwrap(received);
  if (!framed || !from.IsSet()) return std::nullopt;
  framed->link_datagram = framed->datagram;
  framed->link = framed->source;
  // Anyone else could forge the sender of any message with a wrap: only the
  // caller can tell whether that sender greeted through this address.
  if (!from_proxy && !Matches(from, server)) {
    if (IsWrap(framed->datagram)) return std::nullopt;
    framed->via = from;
    return framed;
  }
  if (!IsWrap(framed->datagram)) {
    // The server's own wrap is part of what its link delivered.
    if (!from_proxy) {
      framed->relayed = true;
      framed->link_datagram = received;
      framed->link = from;
    }
    return framed;
  }
  // Behind a proxy the server's relays arrive wrapped twice: the proxy
  // names the server, whose own wrap names the first sender.
  if (!from_proxy || !Matches(framed->source, server)) return std::nullopt;
  const std::span<const uint8_t> link_datagram = framed->datagram;
  framed = Unwrap(link_datagram);
  if (!framed || IsWrap(framed->datagram)) return std::nullopt;
  framed->relayed = true;
  framed->link_datagram = link_datagram;
  framed->link = server;
  return framed;
}

}  // namespace vorn
