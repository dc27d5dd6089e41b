#include "ipx/dosbox_driver.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>

#include "ipx/packet_ring.h"
#include "platform/text.h"

namespace vorn {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;
// Bounds one burst of reading, so a flood cannot delay a shutdown.
constexpr int kReadsPerWake = 64;
// DOSBox sends bursts of up to about a thousand packets a second.
constexpr int kSocketBufferBytes = 256 * 1024;

constexpr std::string_view kUnknownGameName = "DOSBox";
constexpr std::string_view kWaitFailedText = "The DOSBox driver stopped: waiting for DOSBox's packets failed.\r\n";

struct KnownGame {
  uint16_t socket;
  std::string_view name;  // at most 8 characters
};

// Games whose IPX socket is fixed and well known.
constexpr std::array<KnownGame, 3> kKnownGames = {{
    {0x869C, "DOOM"},
    {0x5100, "DESCENTR"},
    {0x5110, "D2DEMO"},
}};

std::string_view GameName(uint16_t socket) {
  for (const KnownGame& game : kKnownGames) {
    if (game.socket == socket) return game.name;
  }
  return kUnknownGameName;
}

uint32_t LastError() { return static_cast<uint32_t>(errno); }

}  // namespace

DosboxDriver::DosboxDriver(MessageWindow& window, uint16_t port) : window_(window), port_(port) {}

DosboxDriver::~DosboxDriver() {
  reader_.Stop(window_);
  socket_.Close();
}

bool DosboxDriver::Open(uint32_t& error_code) {
  error_code = 0;
  if (reader_.Started()) return true;
  if (!socket_.Open() || !socket_.Bind(kLoopback, port_) || !socket_.SetNonBlocking()) {
    error_code = LastError();
    socket_.Close();
    return false;
  }
  socket_.SetBufferSizes(kSocketBufferBytes);
  bound_port_.store(socket_.LocalPort(), std::memory_order_release);
  return StartReceiving(error_code);
}

std::string DosboxDriver::DescribeOpenError(uint32_t error_code) const {
  return Format("Cannot listen for DOSBox on 127.0.0.1:%u: %s", port_, std::strerror(static_cast<int>(error_code)));
}

bool DosboxDriver::StartReceiving(uint32_t& error_code) {
  try {
    reader_.Start(
        socket_, [this] { ReceiveWaiting(); }, [this] { window_.Append(kWaitFailedText, MessageClass::Server); });
  } catch (const std::system_error& error) {
    error_code = static_cast<uint32_t>(error.code().value());
    socket_.Close();
    bound_port_.store(0, std::memory_order_release);
    return false;
  }
  return true;
}

bool DosboxDriver::Register(const LinkInfo& info, std::span<uint8_t>& ring) {
  if (!socket_.valid()) return false;
  PeerAddress stale_node;
  {
    std::lock_guard lock(client_mutex_);
    own_ = info.own;
    if (client_.IsSet() && client_node_ != own_) stale_node = client_node_;
  }
  ring = std::span<uint8_t>(ring_);
  linked_.store(true, std::memory_order_release);
  // DOSBox keeps the node it registered with until its connection restarts;
  // frames still reach it, but its games announce the old address.
  if (stale_node.IsSet()) {
    window_.Append(Format("DOSBox still uses the node %s; restart DOSBox's ipxnet connection to use the new "
                          "address %s.\r\n",
                          FormatPeer(stale_node).c_str(), FormatPeer(info.own).c_str()),
                   MessageClass::Server);
  }
  return true;
}

void DosboxDriver::Close() { linked_.store(false, std::memory_order_release); }

void DosboxDriver::Deliver(PeerAddress sender, std::span<const uint8_t> frame, bool broadcast) {
  PeerAddress client;
  PeerAddress node;
  {
    std::lock_guard lock(client_mutex_);
    client = client_;
    node = client_node_;
    // DOSBox hands its own broadcasts to its games itself; a copy relayed
    // back by the server would reach them twice.
    if (client.IsSet() && (sender == node || sender == own_)) {
      Bump(DosboxCounter::kEchoes);
      return;
    }
  }
  std::array<uint8_t, kIpxMaxPacketSize> packet;
  const PeerAddress destination = broadcast ? kIpxBroadcastNode : node;
  const size_t size = client.IsSet() ? BuildPacketFromFrame(packet, frame, sender, destination) : 0;
  if (size == 0) {
    Bump(DosboxCounter::kUndeliverable);
    return;
  }
  const std::span<const uint8_t> sent(packet.data(), size);
  if (IpxTap* tap = tap_.load(std::memory_order_acquire)) tap->OnIpxPacket(sent, true);
  if (socket_.SendTo(client, sent) > 0) Bump(DosboxCounter::kDelivered);
}

GameQuery DosboxDriver::QueryGame() {
  GameQuery query;
  const uint16_t socket = game_socket_.load(std::memory_order_acquire);
  if (socket == 0) return query;
  query.SetSocketBytes(MakeIpxSocket(socket));
  const std::string_view name = GameName(socket);
  std::memcpy(query.name, name.data(), name.size() < sizeof query.name ? name.size() : sizeof query.name);
  return query;
}

bool DosboxDriver::WaitForEvent(int32_t timeout_ms) {
  std::unique_lock lock(event_mutex_);
  auto signalled = [this] { return event_signalled_; };
  if (timeout_ms < 0) {
    event_changed_.wait(lock, signalled);
  } else if (!event_changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), signalled)) {
    return false;
  }
  event_signalled_ = false;  // an auto-reset event
  return true;
}

// The waiter checks its stop flag after every wake-up, so shutdown is just
// one more signal.
void DosboxDriver::Wake() { SignalEvent(); }

void DosboxDriver::SignalEvent() {
  {
    std::lock_guard lock(event_mutex_);
    event_signalled_ = true;
  }
  event_changed_.notify_all();
}

PeerAddress DosboxDriver::ClientAddress() const {
  std::lock_guard lock(client_mutex_);
  return client_;
}

PeerAddress DosboxDriver::ClientNode() const {
  std::lock_guard lock(client_mutex_);
  return client_node_;
}

uint32_t DosboxDriver::Count(DosboxCounter counter) const {
  return counters_[static_cast<size_t>(counter)].load(std::memory_order_relaxed);
}

void DosboxDriver::Bump(DosboxCounter counter) {
  counters_[static_cast<size_t>(counter)].fetch_add(1, std::memory_order_relaxed);
}

void DosboxDriver::ReceiveWaiting() {
  for (int read = 0; read < kReadsPerWake; ++read) {
    PeerAddress from;  // stays unset when nothing waits
    bool truncated = false;
    const int got = socket_.RecvFrom(receive_buffer_, from, truncated);
    if (got < 0 || !from.IsSet()) return;
    if (truncated) {
      Bump(DosboxCounter::kMalformed);  // longer than any IPX packet
      continue;
    }
    HandleDatagram(std::span<const uint8_t>(receive_buffer_.data(), static_cast<size_t>(got)), from);
  }
}

void DosboxDriver::HandleDatagram(std::span<const uint8_t> datagram, PeerAddress from) {
  const std::optional<IpxPacket> packet = ParseIpxPacket(datagram);
  if (!packet) {
    Bump(DosboxCounter::kMalformed);
    return;
  }
  if (IsRegistrationRequest(*packet)) {
    OnRegistration(from);
    return;
  }
  bool from_client = false;
  {
    std::lock_guard lock(client_mutex_);
    from_client = client_.IsSet() && from == client_;
  }
  if (!from_client) {
    Bump(DosboxCounter::kForeign);
    return;
  }
  if (IpxTap* tap = tap_.load(std::memory_order_acquire)) tap->OnIpxPacket(datagram, false);
  HandleClientPacket(*packet);
}

void DosboxDriver::OnRegistration(PeerAddress from) {
  PeerAddress node;
  {
    std::lock_guard lock(client_mutex_);
    node = own_;
    // Without an own node there is nothing to give; DOSBox gives up after
    // a few seconds and can simply connect again.
    if (node.IsSet()) {
      client_ = from;  // a reconnecting DOSBox comes from a new port
      client_node_ = node;
    }
  }
  if (!node.IsSet()) {
    Bump(DosboxCounter::kUnlinked);
    return;
  }
  std::array<uint8_t, kIpxHeaderSize> reply;
  const size_t size = BuildRegistrationReply(reply, node, {kLoopback, BoundPort()});
  socket_.SendTo(from, std::span<const uint8_t>(reply.data(), size));
  Bump(DosboxCounter::kRegistrations);
}

void DosboxDriver::HandleClientPacket(const IpxPacket& packet) {
  const IpxHeader& header = packet.header;
  // The tunnel's own socket carries `ipxnet ping`, not a game.
  if (header.source_socket != kIpxTunnelSocket) {
    game_socket_.store(IpxSocketNumber(header.source_socket), std::memory_order_release);
  }
  if (packet.data.size() > kMaxSlotPayload) {
    Bump(DosboxCounter::kOversized);
    return;
  }
  if (!IsReachableNode(header.destination_node)) {
    Bump(DosboxCounter::kMalformed);
    return;
  }
  if (!linked_.load(std::memory_order_acquire)) {
    Bump(DosboxCounter::kUnlinked);
    return;
  }
  PutIntoRing(packet);
}

// Always the first free slot: the program drains from slot 0 and stops at
// the first free one. A full ring drops the packet rather than wait, so
// DOSBox's packets never queue up behind a stalled program.
void DosboxDriver::PutIntoRing(const IpxPacket& packet) {
  {
    std::lock_guard lock(ring_mutex_);
    const PacketRing ring(ring_);
    const std::optional<size_t> index = ring.FirstFreeSlot();
    if (!index || !ring.slot(*index).Fill(ToSlotPacket(packet, static_cast<int32_t>(next_sequence_)))) {
      Bump(DosboxCounter::kRingFull);
      return;
    }
  }
  ++next_sequence_;
  Bump(DosboxCounter::kForwarded);
  SignalEvent();
}

}  // namespace vorn
