#include "ipx/forwarding.h"

#include <array>
#include <cstring>
#include <string_view>
#include <utility>

#include "net/messages.h"
#include "platform/byte_io.h"

namespace vorn {

namespace {

constexpr size_t kDestinationSocketOffset = 9;
constexpr size_t kSourceSocketOffset = 11;                      // its first byte names the game family
constexpr size_t kFifthPayloadByte = kGameFrameHeaderSize + 4;  // 17
constexpr int32_t kShortFrameLimit = 200;
constexpr std::string_view kDirectPlayName = "DirectX!";
constexpr size_t kGameNameBytes = 8;

bool IsChatFrame(std::span<const uint8_t> frame) {
  return frame[kDestinationSocketOffset] == kChatSocket[0] && frame[kDestinationSocketOffset + 1] == kChatSocket[1];
}

}  // namespace

GameForwarder::GameForwarder(DriverLink& link, const Clock& clock, const SharedAddresses& addresses,
                             SendPacketFunction send, ForwarderHooks hooks)
    : link_(link),
      clock_(clock),
      addresses_(addresses),
      send_(std::move(send)),
      hooks_(std::move(hooks)),
      gate_([this] { AskServerForPlayers(); },
            [this](std::span<const uint8_t> frame, PeerAddress sender) { Deliver(frame, sender, false); }) {}

// A slot whose length field exceeds the slot is dropped rather than read
// past its end.
void GameForwarder::ForwardDriverPacket(PacketSlot slot) {
  const std::span<uint8_t> frame = slot.Frame();
  const PeerAddress destination = slot.Destination();
  if (!frame.empty() && !DropOutbound(frame, destination)) SendFrame(frame, destination);
  slot.Free();
}

// The fifth payload byte counts only when the packet has one: beyond its
// length the slot still holds an earlier packet's bytes.
bool GameForwarder::DropOutbound(std::span<const uint8_t> frame, PeerAddress destination) {
  const uint8_t family = frame[kSourceSocketOffset];
  const bool join_family = family == 0x50 || family == 0x51;
  const int fifth = frame.size() > kFifthPayloadByte ? frame[kFifthPayloadByte] : -1;
  if (join_family && fifth == '#' && fast_join_.load(std::memory_order_relaxed)) return true;
  if (family == 0x51 && fifth == '7' && fast_join2_.load(std::memory_order_relaxed)) return true;
  const auto length = static_cast<int32_t>(frame.size());
  if (join_family && length < kShortFrameLimit) return destinations_.RecordFrame(destination, length);
  return false;
}

// Sent from the slot itself. A broadcast goes to the server for relaying;
// without a server there is nobody to relay it.
void GameForwarder::SendFrame(std::span<uint8_t> frame, PeerAddress destination) const {
  PeerAddress to = destination;
  if (destination.ip == kBroadcastDestination) {
    frame[kTypeOffset] = static_cast<uint8_t>(kTypeBroadcastFrame);
    to = addresses_.server.Load();
    if (!to.IsSet()) return;
  } else {
    frame[kTypeOffset] = static_cast<uint8_t>(kTypeGameFrame);
  }
  if (hooks_.links == nullptr) {
    send_(to, frame);
    return;
  }
  std::array<uint8_t, kMaxParitySize> parity;
  size_t parity_size = 0;
  const LinkMonitor::Second second = hooks_.links->SecondFor(to, frame, {}, parity, parity_size);
  send_(to, frame);
  if (second == LinkMonitor::Second::kCopy) send_(to, frame);
  if (second == LinkMonitor::Second::kParity) send_(to, std::span(parity).first(parity_size));
}

// Chat frames skip the sequence filter: their numbers come from the chat
// layer's own counter, far below a running game's, and the chat layer
// acknowledges and filters duplicates itself.
void GameForwarder::OnGameFrame(std::span<const uint8_t> frame, PeerAddress sender, bool relayed) {
  if (frame.size() < kGameFrameHeaderSize) return;
  const PlayerGate::Verdict verdict = gate_.Admit(frame, sender, relayed, addresses_.server.Load(), clock_.NowMs());
  if (verdict == PlayerGate::Verdict::kDeliver) Deliver(frame, sender, relayed);
}

void GameForwarder::Deliver(std::span<const uint8_t> frame, PeerAddress sender, bool relayed) {
  // The link is where the datagram came from: the server for its relays.
  const PeerAddress link = relayed ? addresses_.server.Load() : sender;
  const bool late_ok = hooks_.links != nullptr && hooks_.links->NoteReceived(link);
  if (!markers_.AcceptFrame(frame, sender.port)) return;
  const bool chat = IsChatFrame(frame);
  SenderHistory& history = relayed ? relayed_senders_ : senders_;
  if (!chat && !history.AcceptFrame(sender, GameFrameSequence(frame), clock_.NowMs(), late_ok)) return;
  // The server relays nothing but broadcasts.
  link_.DeliverToDriver(sender, frame, relayed);
  if (chat && hooks_.on_chat_packet) hooks_.on_chat_packet(sender, frame.subspan(kGameFrameHeaderSize));
}

void GameForwarder::AskServerForPlayers() const {
  std::array<uint8_t, kFrameSize> request{};
  send_(addresses_.server.Load(), std::span(request).first(BuildFrameOnly(request, kTypePlayerListRequest)));
}

GameInfo GameForwarder::QueryGameInfo() {
  const GameQuery query = link_.QueryDriverGame();
  GameInfo info;  // no game: "Vorn95" on the chat socket
  if (const IpxSocket socket = query.SocketBytes(); socket != IpxSocket{}) {
    info.socket = socket;
    info.name.assign(query.name, ::strnlen(query.name, kGameNameBytes));
  }
  if (hooks_.is_direct_play_bridge_running && hooks_.is_direct_play_bridge_running()) {
    info.socket = kDirectPlaySocket;
    info.name = kDirectPlayName;
  }
  if (hooks_.set_own_process_name) hooks_.set_own_process_name(info.name);
  return info;
}

}  // namespace vorn
