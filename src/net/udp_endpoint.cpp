#include "net/udp_endpoint.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <system_error>
#include <utility>

#include "net/framing.h"

namespace vorn {

namespace {

constexpr std::string_view kErrorCaption = "Error";
constexpr std::string_view kNoThreadText = "Error Creating Listen Thread\n";
constexpr std::string_view kWaitFailedText = "Error in Listen Thread: waiting for datagrams failed\n";
// Bounds one burst of reading, so a flood cannot delay a shutdown.
constexpr int kBatchesPerWake = 4;
// Targets sorted per call of SendToEach: more than a relay ever has.
constexpr size_t kCopiesPerCall = 8;
// UDP keeps no queue in the socket on send, so a small send buffer buys no
// latency; it only makes a non-blocking burst (a relay to every player, a
// drained packet ring) fail with EAGAIN while the card still holds earlier
// frames. The receive side is charged with per-datagram overhead, which with
// a few kilobytes would leave room for only a handful of game frames.
constexpr int kSendBufferBytes = 64 * 1024;
constexpr int kReceiveBufferBytes = 256 * 1024;

void SetBufferSizes(const UdpSocket& socket) {
  int send_bytes = kSendBufferBytes;
  int receive_bytes = kReceiveBufferBytes;
  ::setsockopt(socket.fd(), SOL_SOCKET, SO_SNDBUF, &send_bytes, sizeof send_bytes);
  ::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVBUF, &receive_bytes, sizeof receive_bytes);
}

// head and body side by side in out, which must hold both.
std::span<const uint8_t> Join(std::span<uint8_t> out, std::span<const uint8_t> head, std::span<const uint8_t> body) {
  if (!head.empty()) std::memcpy(out.data(), head.data(), head.size());
  if (!body.empty()) std::memcpy(out.data() + head.size(), body.data(), body.size());
  return out.first(head.size() + body.size());
}

}  // namespace

UdpEndpoint::UdpEndpoint(Clock& clock, Dialogs& dialogs, MessageWindow& window, SharedAddresses& addresses,
                         const Dispatcher& dispatcher, OwnAddressSources sources)
    : clock_(clock),
      dialogs_(dialogs),
      window_(window),
      addresses_(addresses),
      dispatcher_(dispatcher),
      sources_(std::move(sources)) {}

UdpEndpoint::~UdpEndpoint() { CloseUdpEndpoint(); }

// POSIX sockets need no library start-up or version check, so the two
// failures that such a step could report do not exist here.
bool UdpEndpoint::OpenUdpEndpoint(const EndpointConfig& config) {
  CloseUdpEndpoint();
  if (!socket_.Open()) return Fail("Cannot open datagram socket!");
  if (!socket_.Bind(0, config.port)) return Fail("Cannot bind local address!");
  if (!socket_.SetNonBlocking()) return Fail("Cannot set non-blocking mode!");
  socket_.SetBroadcast(true);  // the own-address probe broadcasts
  SetBufferSizes(socket_);
  bound_port_ = socket_.LocalPort();
  OwnAddressResult own = DetermineOwnAddress(config.my_ip, socket_, clock_, sources_);
  if (own.ip == 0) return Fail(own.error);
  addresses_.local.Store({own.ip, bound_port_});
  return true;
}

bool UdpEndpoint::Fail(std::string_view text) {
  dialogs_.ShowMessage(kErrorCaption, text);
  socket_.Close();
  bound_port_ = 0;
  return false;
}

void UdpEndpoint::CloseUdpEndpoint() {
  reader_.Stop(window_);
  socket_.Close();
  bound_port_ = 0;
}

int UdpEndpoint::SendPacket(uint32_t ip, uint16_t port, std::span<const uint8_t> data) const {
  if (data.size() > kMaxSendSize) return -1;
  PeerAddress proxy = addresses_.proxy.Load();
  if (!proxy.IsSet()) return Observed(PeerAddress{ip, port}, socket_.SendTo({ip, port}, data));
  // Local to the call: several threads send at once without a lock.
  std::array<uint8_t, kMaxSendSize + kWrapHeaderSize> wrapped;
  size_t size = BuildProxyWrap(wrapped, ProxyWrap{{ip, port}, data});
  return Observed(proxy, socket_.SendTo(proxy, std::span<const uint8_t>(wrapped.data(), size)));
}

size_t UdpEndpoint::SendCopies(std::span<const PeerAddress> targets, std::span<const uint8_t> head,
                               std::span<const uint8_t> body) const {
  if (!socket_.valid() || head.size() + body.size() > kMaxSendSize) return 0;
  if (addresses_.proxy.Load().IsSet()) return SendEachThroughProxy(targets, head, body);
  return SendEachDirectly(targets, addresses_.local.Load(), head, body);
}

size_t UdpEndpoint::SendEachThroughProxy(std::span<const PeerAddress> targets, std::span<const uint8_t> head,
                                         std::span<const uint8_t> body) const {
  // Each copy gets its own wrap naming its destination, so each is whole.
  std::array<uint8_t, kMaxSendSize> joined;
  const std::span<const uint8_t> datagram = Join(joined, head, body);
  size_t sent = 0;
  for (PeerAddress to : targets) sent += SendPacket(to, datagram) >= 0 ? 1 : 0;
  return sent;
}

size_t UdpEndpoint::SendEachDirectly(std::span<const PeerAddress> targets, PeerAddress self,
                                     std::span<const uint8_t> head, std::span<const uint8_t> body) const {
  size_t done = 0;
  size_t own_copies = 0;
  for (size_t first = 0; first < targets.size(); first += kCopiesPerCall) {
    std::array<PeerAddress, kCopiesPerCall> others;
    size_t count = 0;
    for (PeerAddress to : targets.subspan(first, std::min(kCopiesPerCall, targets.size() - first))) {
      if (to == self)
        ++own_copies;
      else
        others[count++] = to;
    }
    std::array<int, kCopiesPerCall> results;
    socket_.SendToEach(std::span(others).first(count), head, body, results);
    for (size_t i = 0; i < count; ++i) done += Observed(others[i], results[i]) >= 0 ? 1 : 0;
  }
  if (own_copies == 0) return done;
  // This node's own relay: it is the server here, whatever address the
  // connection knows the server by, so no comparison of addresses applies.
  std::array<uint8_t, kMaxSendSize> joined;
  const std::span<const uint8_t> datagram = Join(joined, head, body);
  for (; own_copies > 0; --own_copies, ++done) {
    std::optional<Framed> framed = FrameDatagram(datagram, self, {}, self);
    if (framed) dispatcher_.DispatchDatagram(framed->datagram, framed->source, framed->relayed);
  }
  return done;
}

int UdpEndpoint::Observed(PeerAddress to, int sent) const {
  if (traffic_observer_ != nullptr && sent >= 0) traffic_observer_->OnSent(to);
  return sent;
}

bool UdpEndpoint::StartReceiveThread() {
  if (!socket_.valid()) return false;
  if (reader_.Started()) return true;  // there is only ever one reader
  // Normal priority: real-time scheduling needs privileges that a desktop
  // user does not have, and the reader does little work per datagram.
  try {
    reader_.Start(
        socket_, [this] { ReceiveWaiting(); }, [this] { window_.Append(kWaitFailedText, MessageClass::Server); });
  } catch (const std::system_error&) {
    window_.Append(kNoThreadText, MessageClass::Server);
    return false;
  }
  return true;
}

void UdpEndpoint::ReceiveWaiting() {
  for (int batch = 0; batch < kBatchesPerWake; ++batch) {
    if (socket_.RecvBatch(received_) <= 0) return;
    for (size_t i = 0; i < received_.size(); ++i) {
      const PeerAddress from = received_.From(i);
      if (!from.IsSet()) continue;
      // Larger than any datagram of the protocol when truncated.
      const bool lost = traffic_observer_ != nullptr && traffic_observer_->DropsReceived(received_.Datagram(i), from);
      if (!received_.Truncated(i) && !lost) HandleDatagram(received_.Datagram(i), from);
      if (traffic_observer_ != nullptr) traffic_observer_->OnDispatched();
    }
    // A short batch has emptied the queue: a further read would find nothing.
    if (received_.size() < ReceiveBatch::kCapacity) return;
  }
}

// Kept for parities after its own handling, so that a datagram it
// completes comes after it.
void UdpEndpoint::HandleDatagram(std::span<const uint8_t> received, PeerAddress from) const {
  std::optional<Framed> framed = FrameDatagram(received, from, addresses_.proxy.Load(), addresses_.server.Load());
  if (!framed) return;
  Dispatch(*framed);
  if (parity_ != nullptr) parity_->Note(framed->link_datagram, framed->link);
}

// No proxy applies: link's own wrap was the proxy's, if any.
void UdpEndpoint::HandleRebuilt(std::span<const uint8_t> datagram, PeerAddress link) const {
  std::optional<Framed> framed = FrameDatagram(datagram, link, {}, addresses_.server.Load());
  if (framed) Dispatch(*framed);
}

void UdpEndpoint::Dispatch(const Framed& framed) const {
  if (framed.via.IsSet()) {
    dispatcher_.DispatchProxied(framed.datagram, framed.source, framed.via);
  } else {
    dispatcher_.DispatchDatagram(framed.datagram, framed.source, framed.relayed);
  }
}

}  // namespace vorn
