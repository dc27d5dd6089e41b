// What each inbound chat packet shows and answers.
#include "chat/chat_events.h"

#include "platform/text.h"

namespace vorn {
namespace {

std::string Text(std::string_view text) { return std::string(text); }

// Subtypes that do nothing at all without an entry for their sender.
bool NeedsSender(ChatSubtype subtype) {
  switch (subtype) {
    case ChatSubtype::Part:
    case ChatSubtype::WhoQuery:
    case ChatSubtype::Private:
    case ChatSubtype::PingRequest:
    case ChatSubtype::Unnamed14:
    case ChatSubtype::Unnamed19:
    case ChatSubtype::FileRequest:
    case ChatSubtype::DownloadCancelled:
      return true;
    default:
      return false;
  }
}

}  // namespace

void ChatEvents::OnChatPacket(PeerAddress sender, std::span<const uint8_t> body) {
  std::optional<ChatPacketView> packet = ParseChatBody(body);
  if (!packet) return;
  context_.capabilities.Record(sender, ReadCapabilityField(packet->reserved).value_or(0), context_.NowMs());
  if (!context_.windows.HasChatWindows()) return;
  bool list_open = context_.windows.IsChatListOpen();
  context_.WithState(state_, [&](ChatLocked& s, ChatOutput& out) {
    if (s->chatModeOn) Handle(s, sender, *packet, list_open, out);
  });
}

void ChatEvents::Handle(ChatLocked& s, PeerAddress sender, const ChatPacketView& packet, bool list_open,
                        ChatOutput& out) {
  ChatInbound in{sender, s->peers.FindOrAddChatPeer(sender, packet.channel, packet.nickname), list_open, packet,
                 PayloadText(packet.payload)};
  const PeerLookup& who = in.who;
  if (who.index > kLocalPeer && (who.is_new || who.channel_changed || who.nick_changed)) out.RefreshChatList();
  if (packet.subtype == ChatSubtype::Ack) return HandleAck(s, in, out);
  if (packet.subtype == ChatSubtype::Quit) return HandleQuit(s, in, out);
  if (!delivery_.Admit(s, in, out)) return;
  // Subtype 2 is kept from announcing its sender; no side sends it today.
  if (who.is_new && who.index > kLocalPeer && static_cast<uint16_t>(packet.subtype) != 2 && !list_open) {
    out.ToChannel(packet.channel,
                  "*** " + Text(packet.nickname) + "(" + FormatPeerAddress(sender) + ") has joined Vorn Chat\r\n",
                  context_.Colour(MessageClass::Server));
  }
  HandleEvent(s, in, out);
}

void ChatEvents::HandleAck(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  uint32_t serial = ParseSerial(in.text);
  std::optional<AcknowledgedPacket> acked = delivery_.OnAcknowledgement(s, in, serial);
  if (in.who.index >= 0) transfer_.OnAcknowledgement(s, in, serial, acked, out);
}

void ChatEvents::HandleQuit(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  if (in.who.index < 0 || in.who.is_new) return;
  if (!in.list_open) {
    out.ToChannel(in.packet.channel,
                  Format("*** %s has quit Vorn Chat (%.*s).\r\n", Text(s->peers[in.who.index].nickname.view()).c_str(),
                         static_cast<int>(in.text.size()), in.text.data()),
                  context_.Colour(MessageClass::Server));
  }
  // The local user's entry stays: it is never taken from a packet.
  if (in.who.index != kLocalPeer) s->peers.Clear(in.who.index);
  if (in.list_open) out.RefreshChatList();
}

void ChatEvents::ShowInChannel(const ChatInbound& in, std::string text, MessageClass cls, ChatOutput& out) {
  out.ToChannel(in.packet.channel, std::move(text), context_.Colour(cls));
}

void ChatEvents::HandleEvent(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  if (in.who.index < 0 && NeedsSender(in.packet.subtype)) return;
  const std::string nick = Text(in.packet.nickname);
  switch (in.packet.subtype) {
    case ChatSubtype::Text:
      out.ToChannel(in.packet.channel, PadColumn("<" + nick + ">", 16) + "     " + Text(in.text) + "\r\n",
                    context_.settings.ChatColorFor(nick));
      return;
    case ChatSubtype::WhoReply:
      return ShowInChannel(in, Format("%s is on channel %s.\r\n", nick.c_str(), Text(in.packet.channel).c_str()),
                           MessageClass::Server, out);
    case ChatSubtype::Action:
      s->offeredNames.Note(in.sender, in.text);
      return ShowInChannel(in, "* " + PadColumn(nick, 16) + "   " + Text(in.text) + "\r\n", MessageClass::Action, out);
    case ChatSubtype::PingRequest:
      delivery_.Send(s, in.who.index, ChatSubtype::PingReply, in.packet.payload, out);
      return;
    case ChatSubtype::Unnamed14:
    case ChatSubtype::Unnamed19:
      delivery_.Send(s, in.who.index, ChatSubtype::NoFileOffered, {}, out);
      return;
    case ChatSubtype::Part:
      return OnPart(s, in, out);
    case ChatSubtype::WhoQuery:
      return OnWhoQuery(s, in, out);
    case ChatSubtype::Private:
      return OnPrivate(s, in, out);
    case ChatSubtype::PingReply:
      return OnPingReply(in, out);
    case ChatSubtype::FileRequest:
      return transfer_.OnFileRequest(s, in, out);
    case ChatSubtype::NoFileOffered:
      return transfer_.OnNoFileOffered(s, in, out);
    case ChatSubtype::FileFragment:
      return transfer_.OnFileFragment(s, in, out);
    case ChatSubtype::DownloadCancelled:
      return transfer_.OnDownloadCancelled(s, in, out);
    default:
      return;  // Hello shows nothing beyond the join notice
  }
}

void ChatEvents::OnPart(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  if (!in.list_open && in.who.index != kLocalPeer) {
    ShowInChannel(
        in, Format("*** %s has left channel %s\r\n", Text(in.packet.nickname).c_str(), Text(in.packet.channel).c_str()),
        MessageClass::Server, out);
  }
  s->peers[in.who.index].channel.Clear();
}

void ChatEvents::OnWhoQuery(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  bool everybody = !in.text.empty() && in.text[0] == '*';
  if (everybody || in.text == s->peers.local().channel.view()) {
    delivery_.Send(s, in.who.index, ChatSubtype::WhoReply, {}, out);
  }
}

void ChatEvents::OnPrivate(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  if (s->away) delivery_.SendText(s, in.who.index, ChatSubtype::Action, s->awayText, out);
  ShowInChannel(in, "[*" + PadColumn(in.packet.nickname, 16) + "*] " + Text(in.text) + "\r\n", MessageClass::Private,
                out);
  s->RememberCorrespondent(in.packet.nickname);
  if (context_.BeepOnPrivate()) out.Beep();
}

void ChatEvents::OnPingReply(const ChatInbound& in, ChatOutput& out) {
  int32_t sent = ParseDecimal(in.text);
  int32_t round_trip = static_cast<int32_t>(static_cast<uint32_t>(context_.NowMs()) - static_cast<uint32_t>(sent));
  ShowInChannel(in, Format("*** Ping time from %s is %d ms.\r\n", Text(in.packet.nickname).c_str(), round_trip),
                MessageClass::Server, out);
}

}  // namespace vorn
