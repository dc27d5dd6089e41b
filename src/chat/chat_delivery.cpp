// Sending with acknowledgement and retransmission, and the first steps of
// every inbound chat packet: acknowledging it and the repeat filters.
#include "chat/chat_delivery.h"

#include <algorithm>
#include <array>

#include "net/messages.h"
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

// The frame's sequence number is left 0 here: it is given as the frame
// leaves (ChatContext::Emit).
bool ChatDelivery::Send(ChatLocked& s, int peer_index, ChatSubtype subtype, std::span<const uint8_t> payload,
                        ChatOutput& out) {
  if (payload.size() > kMaxChatPayload || peer_index < kLocalPeer || peer_index > kRelayPeer) return false;
  const ChatPeer& peer = s->peers[peer_index];
  if (peer.address.ip == 0) return false;
  bool relayed = peer.address.ip == kRelayAddress.ip;
  const ChatPeer& self = s->peers.local();
  ChatHeader header{relayed ? kTypeBroadcastFrame : kTypeGameFrame,
                    0,
                    subtype,
                    HeaderChannel(self.channel.view(), subtype),
                    self.nickname.view(),
                    ++s->serial,
                    context_.OwnCapabilities()};
  std::array<uint8_t, kMaxChatPacket> buffer;
  size_t size = BuildChatPacket(buffer, header, payload);
  std::span<const uint8_t> packet(buffer.data(), size);
  if (KeepsPending(peer_index, subtype) &&
      s->pending.Keep(peer.address, packet, context_.NowMs(), peer.round_trip.ResendIntervalMs()) == nullptr) {
    out.ToChannel(self.channel.view(), "*** Out of memory!  Can't send!\r\n", context_.Colour(MessageClass::Server));
    return false;
  }
  PeerAddress to = relayed ? context_.addresses.server.Load() : peer.address;
  if (to.ip != 0) out.Send(to, packet);
  return true;
}

// Cut between characters, so that no part of a line is lost and each part
// shows whole.
bool ChatDelivery::SendText(ChatLocked& s, int peer_index, ChatSubtype subtype, std::string_view text,
                            ChatOutput& out) {
  bool sent = true;
  do {
    const std::string_view piece = Truncate(text, kMaxChatPayload - 1);
    std::array<uint8_t, kMaxChatPayload> payload{};
    std::copy(piece.begin(), piece.end(), payload.begin());
    sent = Send(s, peer_index, subtype, std::span<const uint8_t>(payload.data(), piece.size() + 1), out) && sent;
    text.remove_prefix(piece.size());
  } while (!text.empty());
  return sent;
}

void ChatDelivery::Broadcast(ChatLocked& s, ChatSubtype subtype, std::span<const uint8_t> payload, ChatOutput& out) {
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    if (s->peers[i].address.ip != 0) Send(s, i, subtype, payload, out);
  }
}

void ChatDelivery::BroadcastText(ChatLocked& s, ChatSubtype subtype, std::string_view text, ChatOutput& out) {
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    if (s->peers[i].address.ip != 0) SendText(s, i, subtype, text, out);
  }
}

void ChatDelivery::Tick(ChatLocked& s, ChatOutput& out) {
  int32_t now = context_.NowMs();
  s->pending.ForEachInUse([&](PendingChatPacket& record) {
    if (ElapsedMs(now, record.first_sent) > kDropPeerAfterMs) return GiveUp(s, record, out);
    if (ElapsedMs(now, record.deadline) < 0) return;
    if (MaySendAgain(s, record)) return Resend(s, record, now, out);
    // Given up as quietly as after 30 s; the entry stays, in case it is a
    // real user on a bad line who speaks again.
    record.in_use = false;
  });
}

int32_t ChatDelivery::UntilDueMs(ChatLocked& s, int32_t limit_ms) {
  int32_t now = context_.NowMs();
  int32_t until = limit_ms;
  s->pending.ForEachInUse([&](const PendingChatPacket& record) {
    until =
        std::min({until, -ElapsedMs(now, record.deadline), kDropPeerAfterMs + 1 - ElapsedMs(now, record.first_sent)});
  });
  return std::max(until, 1);
}

bool ChatDelivery::MaySendAgain(ChatLocked& s, const PendingChatPacket& record) {
  if (record.resends < kResendsToStrangers) return true;
  return record.peer == s->peers.local().address || s->peers.HasAcknowledged(record.peer);
}

// Silence for this long means the user is gone; no line says so.
void ChatDelivery::GiveUp(ChatLocked& s, PendingChatPacket& record, ChatOutput& out) {
  int index = s->peers.FindOther(record.peer);
  if (index > 0) {
    s->peers.Clear(index);
    out.RefreshChatList();
  }
  record.in_use = false;
}

void ChatDelivery::Resend(ChatLocked& s, PendingChatPacket& record, int32_t now_ms, ChatOutput& out) {
  if (record.subtype == ChatSubtype::PingRequest) RestampPing(record, now_ms);
  record.interval_ms = BackedOffIntervalMs(record.interval_ms);
  record.deadline = now_ms + record.interval_ms;
  record.last_sent = now_ms;
  ++record.resends;
  record.overtaken = 0;
  record.overtaken_after = s->serial;
  out.Send(record.peer, record.packet());
}

bool ChatDelivery::Admit(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  const PeerLookup& who = in.who;
  bool fragment = in.packet.subtype == ChatSubtype::FileFragment;
  if (who.index >= 0 && !fragment) Acknowledge(s, in, out);
  if (who.is_new) s->serials.Forget(who.index);
  // A fragment's copies are told by the bytes the download holds, not by
  // serial.
  if (who.index < 0 || fragment) return true;
  return !s->serials.IsRepeat(who.index, in.packet.serial, context_.NowMs()) &&
         !s->history.IsDuplicate(in.packet.subtype, who.index, in.text, context_.clock.NowSeconds());
}

void ChatDelivery::Acknowledge(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  if (in.who.index >= 0) SendText(s, in.who.index, ChatSubtype::Ack, Format("%u", in.packet.serial), out);
}

std::optional<AcknowledgedPacket> ChatDelivery::OnAcknowledgement(ChatLocked& s, const ChatInbound& in,
                                                                  uint32_t serial) {
  std::optional<AcknowledgedPacket> acked = s->pending.Acknowledge(serial, in.sender);
  if (in.who.index < 0 || !acked) return acked;
  ChatPeer& peer = s->peers[in.who.index];
  peer.acknowledged = true;
  if (acked->was_in_use && !acked->resent) peer.round_trip.Sample(ElapsedMs(context_.NowMs(), acked->first_sent));
  return acked;
}

}  // namespace vorn
