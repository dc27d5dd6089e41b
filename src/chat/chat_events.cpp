// What each inbound chat packet shows and answers, once the sender has been
// recorded, acknowledged and checked for repeats.
#include <algorithm>

#include "chat/chat.h"
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
    case ChatSubtype::DownloadCancelled: return true;
    default: return false;
  }
}

}  // namespace

void Chat::ShowInChannel(const Inbound& in, std::string text, MessageClass cls, ChatOutput& out) {
  out.ToChannel(in.packet.channel, std::move(text), Colour(cls));
}

void Chat::HandleEvent(const Inbound& in, ChatOutput& out) {
  if (in.who.index < 0 && NeedsSender(in.packet.subtype)) return;
  const std::string nick = Text(in.packet.nickname);
  switch (in.packet.subtype) {
    case ChatSubtype::Text:
      out.ToChannel(in.packet.channel, PadColumn("<" + nick + ">", 16) + "     " + Text(in.text) + "\r\n",
                    settings_.ChatColorFor(nick));
      return;
    case ChatSubtype::WhoReply:
      return ShowInChannel(in, Format("%s is on channel %s.\r\n", nick.c_str(), Text(in.packet.channel).c_str()),
                           MessageClass::Server, out);
    case ChatSubtype::Action:
      offered_names_.Note(in.sender, in.text);
      return ShowInChannel(in, "* " + PadColumn(nick, 16) + "   " + Text(in.text) + "\r\n", MessageClass::Action, out);
    case ChatSubtype::PingRequest:
      SendLocked(in.who.index, ChatSubtype::PingReply, in.packet.payload, out);
      return;
    case ChatSubtype::Unnamed14:
    case ChatSubtype::Unnamed19:
      SendLocked(in.who.index, ChatSubtype::NoFileOffered, {}, out);
      return;
    case ChatSubtype::Part: return OnPart(in, out);
    case ChatSubtype::WhoQuery: return OnWhoQuery(in, out);
    case ChatSubtype::Private: return OnPrivate(in, out);
    case ChatSubtype::PingReply: return OnPingReply(in, out);
    case ChatSubtype::FileRequest: return OnFileRequest(in, out);
    case ChatSubtype::NoFileOffered: return OnNoFileOffered(in, out);
    case ChatSubtype::FileFragment: return OnFileFragment(in, out);
    case ChatSubtype::DownloadCancelled: return OnDownloadCancelled(in, out);
    default: return;  // Hello shows nothing beyond the join notice
  }
}

void Chat::OnPart(const Inbound& in, ChatOutput& out) {
  if (!in.listOpen && in.who.index != kLocalPeer) {
    ShowInChannel(in,
                  Format("*** %s has left channel %s\r\n", Text(in.packet.nickname).c_str(),
                         Text(in.packet.channel).c_str()),
                  MessageClass::Server, out);
  }
  peers_[in.who.index].channel.Clear();
}

void Chat::OnWhoQuery(const Inbound& in, ChatOutput& out) {
  bool everybody = !in.text.empty() && in.text[0] == '*';
  if (everybody || in.text == peers_.local().channel.view()) {
    SendLocked(in.who.index, ChatSubtype::WhoReply, {}, out);
  }
}

void Chat::OnPrivate(const Inbound& in, ChatOutput& out) {
  if (away_) SendText(in.who.index, ChatSubtype::Action, away_text_, out);
  ShowInChannel(in, "[*" + PadColumn(in.packet.nickname, 16) + "*] " + Text(in.text) + "\r\n", MessageClass::Private,
                out);
  RememberCorrespondent(in.packet.nickname);
  if (beep_on_private_.load(std::memory_order_relaxed)) out.Beep();
}

void Chat::OnPingReply(const Inbound& in, ChatOutput& out) {
  int32_t sent = ParseDecimal(in.text);
  int32_t round_trip = static_cast<int32_t>(static_cast<uint32_t>(NowMs()) - static_cast<uint32_t>(sent));
  ShowInChannel(in, Format("*** Ping time from %s is %d ms.\r\n", Text(in.packet.nickname).c_str(), round_trip),
                MessageClass::Server, out);
}

void Chat::RememberCorrespondent(std::string_view nickname) {
  auto known = std::find(correspondents_.begin(), correspondents_.end(), nickname);
  if (known != correspondents_.end()) return;
  // Bounded, so that a sender changing its nickname for every message
  // cannot grow the list without end; the oldest name goes first.
  if (correspondents_.size() >= kMaxCorrespondents) correspondents_.erase(correspondents_.begin());
  correspondents_.emplace_back(nickname);
}

}  // namespace vorn
