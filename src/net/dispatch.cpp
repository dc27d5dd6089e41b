#include "net/dispatch.h"

#include <utility>

#include "net/messages.h"

namespace vorn {
namespace {

// The table indexed by type byte, so the receive path looks it up once.
constexpr std::array<uint16_t, 256> MakeMinimumLengths() {
  std::array<uint16_t, 256> lengths{};
  for (const MessageType& entry : kMessageTypes) lengths[static_cast<uint8_t>(entry.type)] = entry.minimum_length;
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
