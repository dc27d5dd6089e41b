#include "net/dispatch.h"

#include <utility>

#include "net/messages.h"

namespace vorn {
namespace {

struct CatalogueEntry {
  char type;
  uint16_t minimum_length;
};

// The player information request is laid out in 21 bytes, but peers have
// always admitted it from 20 on; its parser asks for the full layout.
constexpr uint16_t kPlayerInfoRequestMinimum = 20;

// Every type the system accepts and the fixed length below which it is
// dropped.
constexpr std::array<CatalogueEntry, 23> kCatalogue = {{
    {kTypeProxyWrap, kMinWrapSize},
    {kTypeProxyHello, kFrameSize},
    {kTypeProxyWelcome, kAddressMessageSize},
    {kTypeHello, kHelloSize},
    {kTypeAccepted, kFrameSize},
    {kTypeRejectedFull, kFrameSize},
    {kTypeRejectedVersion, kFrameSize},
    {kTypeRejectedNickname, kFrameSize},
    {kTypeBye, kFrameSize},
    {kTypeByeAcknowledged, kFrameSize},
    {kTypePingRequest, kPingSize},
    {kTypePingReply, kPingSize},
    {kTypeGameFrame, kGameFrameHeaderSize},
    {kTypeBroadcastFrame, kGameFrameHeaderSize},
    {kTypePlayerListRequest, kFrameSize},
    {kTypeNamesRequest, kFrameSize},
    {kTypeMotdRequest, kFrameSize},
    {kTypePlayerInfoRequest, kPlayerInfoRequestMinimum},
    {kTypeServerListRequest, kFrameSize},
    {kTypeServerListUpdateRequest, kFrameSize},
    {kTypeServerList, kFrameSize},
    {kTypeText, kFrameSize},
    {kTypeTextLine, kFrameSize},
}};

// The catalogue indexed by type byte, so the receive path looks it up once.
constexpr std::array<uint16_t, 256> MakeMinimumLengths() {
  std::array<uint16_t, 256> lengths{};
  for (const CatalogueEntry& entry : kCatalogue) lengths[static_cast<uint8_t>(entry.type)] = entry.minimum_length;
  return lengths;
}

constexpr std::array<uint16_t, 256> kMinimumLengths = MakeMinimumLengths();

}  // namespace

Dispatcher::Dispatcher() = default;

void Dispatcher::SetHandler(char type, DatagramHandler handler) {
  handlers_[static_cast<uint8_t>(type)] = std::move(handler);
}

void Dispatcher::SetRelayedHandler(char type, DatagramHandler handler) {
  relayed_handlers_[static_cast<uint8_t>(type)] = std::move(handler);
}

size_t Dispatcher::MinimumLength(char type) { return kMinimumLengths[static_cast<uint8_t>(type)]; }

void Dispatcher::DispatchDatagram(std::span<const uint8_t> datagram, PeerAddress source, bool relayed) const {
  if (!IsVornFrame(datagram)) return;
  // While the bridge runs, a probe is its business whatever the type byte.
  if (ProbeSink* sink = probe_sink_.load(std::memory_order_acquire)) {
    ProbeForm form = FindProbe(datagram);
    if (form != ProbeForm::kNone) {
      sink->OnProbe(datagram, source, form == ProbeForm::kAnswer);
      return;
    }
  }
  const char type = static_cast<char>(datagram[kTypeOffset]);
  const size_t minimum = MinimumLength(type);
  if (minimum == 0 || datagram.size() < minimum) return;
  const uint8_t index = static_cast<uint8_t>(type);
  const DatagramHandler& handler = relayed && relayed_handlers_[index] ? relayed_handlers_[index] : handlers_[index];
  if (handler) handler(datagram, source);
}

void Dispatcher::DispatchProxied(std::span<const uint8_t> datagram, PeerAddress client, PeerAddress via) const {
  if (proxied_clients_ != nullptr && proxied_clients_->AcceptWrap(datagram, client, via))
    DispatchDatagram(datagram, client);
}

}  // namespace vorn
