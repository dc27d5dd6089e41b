// Sending with acknowledgement and retransmission, and the first steps of
// every inbound chat packet: who sent it, acknowledging it, quits, the
// duplicate filter and the join notice.
#include <array>

#include "chat/chat.h"
#include "net/messages.h"
#include "platform/byte_io.h"
#include "platform/text.h"

namespace vorn {
namespace {

// A difference of two NowMs readings, correct across the clock's wrap.
int32_t ElapsedMs(int32_t now_ms, int32_t since_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(since_ms));
}

// The copy to the own address is kept too: behind a proxy it crosses the
// network like any other, and the user's own line must not vanish from the
// window because one datagram was lost.
bool KeepsPending(int peer_index, ChatSubtype subtype) {
  return peer_index != kRelayPeer && subtype != ChatSubtype::Ack && subtype != ChatSubtype::PingReply;
}

// A WhoReply names only the channel, not its password.
std::string_view HeaderChannel(std::string_view channel, ChatSubtype subtype) {
  if (subtype != ChatSubtype::WhoReply) return channel;
  return channel.substr(0, channel.find(' '));
}

// A retransmitted ping carries the time it leaves, so the round trip
// measures this copy. The text may grow a digit, so the length follows it.
void RestampPing(PendingChatPacket& record, int32_t now_ms) {
  std::string stamp = Format("%d", now_ms);
  size_t end = kChatPayloadOffset + stamp.size();
  std::copy(stamp.begin(), stamp.end(), record.bytes.begin() + kChatPayloadOffset);
  record.bytes[end] = 0;
  record.length = end + 1;
}

}  // namespace

bool Chat::SendChat(int peer_index, ChatSubtype subtype, std::span<const uint8_t> payload) {
  bool sent = false;
  WithState([&](ChatOutput& out) { sent = SendLocked(peer_index, subtype, payload, out); });
  return sent;
}

void Chat::BroadcastChat(ChatSubtype subtype, std::span<const uint8_t> payload) {
  WithState([&](ChatOutput& out) { BroadcastLocked(subtype, payload, out); });
}

bool Chat::SendLocked(int peer_index, ChatSubtype subtype, std::span<const uint8_t> payload, ChatOutput& out) {
  if (payload.size() > kMaxChatPayload || peer_index < kLocalPeer || peer_index > kRelayPeer) return false;
  const ChatPeer& peer = peers_[peer_index];
  if (peer.address.ip == 0) return false;
  bool relayed = peer.address.ip == kRelayAddress.ip;
  const ChatPeer& self = peers_.local();
  ChatHeader header{relayed ? kTypeBroadcastFrame : kTypeGameFrame, ++sequence_, subtype,
                    HeaderChannel(self.channel.view(), subtype), self.nickname.view(), ++serial_, OwnCapabilities()};
  std::array<uint8_t, kMaxChatPacket> buffer;
  size_t size = BuildChatPacket(buffer, header, payload);
  std::span<const uint8_t> packet(buffer.data(), size);
  if (KeepsPending(peer_index, subtype) &&
      pending_.Keep(peer.address, packet, NowMs(), peer.roundTrip.ResendIntervalMs()) == nullptr) {
    out.ToChannel(self.channel.view(), "*** Out of memory!  Can't send!\r\n", Colour(MessageClass::Server));
    return false;
  }
  PeerAddress to = relayed ? addresses_.server.Load() : peer.address;
  if (to.ip != 0) Transmit(to, packet);
  return true;
}

// A text longer than one payload goes as several packets, cut between
// characters, so that no part of a line is lost and each part shows whole.
bool Chat::SendText(int peer_index, ChatSubtype subtype, std::string_view text, ChatOutput& out) {
  bool sent = true;
  do {
    const std::string_view piece = Truncate(text, kMaxChatPayload - 1);
    std::array<uint8_t, kMaxChatPayload> payload{};
    std::copy(piece.begin(), piece.end(), payload.begin());
    sent = SendLocked(peer_index, subtype, std::span<const uint8_t>(payload.data(), piece.size() + 1), out) && sent;
    text.remove_prefix(piece.size());
  } while (!text.empty());
  return sent;
}

void Chat::BroadcastLocked(ChatSubtype subtype, std::span<const uint8_t> payload, ChatOutput& out) {
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    if (peers_[i].address.ip != 0) SendLocked(i, subtype, payload, out);
  }
}

void Chat::BroadcastText(ChatSubtype subtype, std::string_view text, ChatOutput& out) {
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    if (peers_[i].address.ip != 0) SendText(i, subtype, text, out);
  }
}

void Chat::Transmit(PeerAddress to, std::span<const uint8_t> packet) {
  if (send_) send_(to, packet);
}

void Chat::TickPending(ChatOutput& out) {
  int32_t now = NowMs();
  pending_.ForEachInUse([&](PendingChatPacket& record) {
    if (ElapsedMs(now, record.firstSent) > kDropPeerAfterMs) {
      // Silence for this long means the user is gone; no line says so.
      int index = peers_.FindOther(record.peer);
      if (index > 0) {
        peers_.Clear(index);
        out.RefreshChatList();
      }
      record.inUse = false;
      return;
    }
    if (ElapsedMs(now, record.deadline) >= 0) Resend(record, now);
  });
}

// Each copy leaves as a new frame, so that a receiver which drops frames
// older than the newest one from us does not drop it.
void Chat::Resend(PendingChatPacket& record, int32_t now_ms) {
  if (record.subtype == ChatSubtype::PingRequest) RestampPing(record, now_ms);
  SetChatSequence(record.bytes, ++sequence_);
  record.intervalMs = BackedOffIntervalMs(record.intervalMs);
  record.deadline = now_ms + record.intervalMs;
  record.lastSent = now_ms;
  ++record.resends;
  record.overtaken = 0;
  record.overtakenAfter = serial_;
  Transmit(record.peer, record.packet());
}

void Chat::OnChatPacket(PeerAddress sender, std::span<const uint8_t> body) {
  std::optional<ChatPacketView> packet = ParseChatBody(body);
  if (!packet) return;
  capabilities_.Record(sender, ReadCapabilityField(packet->reserved).value_or(0), NowMs());
  if (!windows_.HasChatWindows()) return;
  bool list_open = windows_.IsChatListOpen();
  WithState([&](ChatOutput& out) {
    if (chat_mode_on_) HandleChatPacket(sender, *packet, list_open, out);
  });
}

void Chat::HandleChatPacket(PeerAddress sender, const ChatPacketView& packet, bool list_open, ChatOutput& out) {
  Inbound in{sender, peers_.FindOrAddChatPeer(sender, packet.channel, packet.nickname), list_open, packet,
             PayloadText(packet.payload)};
  const PeerLookup& who = in.who;
  if (who.index > kLocalPeer && (who.isNew || who.channelChanged || who.nickChanged)) out.RefreshChatList();
  if (packet.subtype == ChatSubtype::Ack) return HandleAck(in, out);
  if (packet.subtype == ChatSubtype::Quit) return HandleQuit(in, out);
  // A fragment is acknowledged only once the download has taken it, and
  // its copies are told by the bytes the download holds, not by serial.
  bool fragment = packet.subtype == ChatSubtype::FileFragment;
  if (who.index >= 0 && !fragment) Acknowledge(in, out);
  if (who.isNew) serials_.Forget(who.index);
  if (who.index >= 0 && !fragment &&
      (serials_.IsRepeat(who.index, packet.serial, NowMs()) ||
       history_.IsDuplicate(packet.subtype, who.index, in.text, clock_.NowSeconds()))) {
    return;
  }
  // Subtype 2 is kept from announcing its sender; no side sends it today.
  if (who.isNew && who.index > kLocalPeer && static_cast<uint16_t>(packet.subtype) != 2 && !list_open) {
    out.ToChannel(packet.channel,
                  "*** " + std::string(packet.nickname) + "(" + FormatPeerAddress(sender) + ") has joined Vorn Chat\r\n",
                  Colour(MessageClass::Server));
  }
  HandleEvent(in, out);
}

void Chat::Acknowledge(const Inbound& in, ChatOutput& out) {
  if (in.who.index >= 0) SendText(in.who.index, ChatSubtype::Ack, Format("%u", in.packet.serial), out);
}

void Chat::HandleAck(const Inbound& in, ChatOutput& out) {
  uint32_t serial = ParseSerial(in.text);
  std::optional<AcknowledgedPacket> acked = pending_.Acknowledge(serial, in.sender);
  if (in.who.index < 0) return;
  ChatPeer& peer = peers_[in.who.index];
  if (acked && acked->wasInUse && !acked->resent) peer.roundTrip.Sample(ElapsedMs(NowMs(), acked->firstSent));
  // Only the first acknowledgement of the fragment in flight moves the
  // transfer on: a repeated one, or one of an earlier transfer's fragment,
  // would put a second fragment in flight, and the user drops a fragment
  // that overtakes the one before it.
  // In a window, any fragment of the running transfer.
  bool fragment_done = acked && acked->wasInUse && acked->subtype == ChatSubtype::FileFragment &&
                       (peer.windowed ? static_cast<int32_t>(serial - peer.firstSerial) >= 0
                                      : serial == peer.fragmentSerial);
  if (fragment_done && peer.windowed) ResendOvertaken(peer, serial);
  if ((fragment_done && peer.bytesSent != 0) || peer.fragmentHeld) FillWindow(in.who.index, in.packet.channel, out);
}

void Chat::HandleQuit(const Inbound& in, ChatOutput& out) {
  if (in.who.index < 0 || in.who.isNew) return;
  if (!in.listOpen) {
    out.ToChannel(in.packet.channel,
                  Format("*** %s has quit Vorn Chat (%.*s).\r\n", std::string(peers_[in.who.index].nickname.view()).c_str(),
                         static_cast<int>(in.text.size()), in.text.data()),
                  Colour(MessageClass::Server));
  }
  // The local user's entry stays: it is never taken from a packet.
  if (in.who.index != kLocalPeer) peers_.Clear(in.who.index);
  if (in.listOpen) out.RefreshChatList();
}

}  // namespace vorn
