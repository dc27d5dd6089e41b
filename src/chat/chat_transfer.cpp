// The offering side of a transfer.
#include "chat/chat_transfer.h"

#include <array>

#include "platform/text.h"

namespace vorn {

void ChatTransfer::AnnounceOffers(ChatLocked& s, ChatOutput& out) {
  delivery_.BroadcastText(s, ChatSubtype::Action, "offers the following files for downloading:", out);
  for (int slot = 0; slot < s->offers.count(); ++slot) {
    if (!s->offers.IsOffered(slot)) continue;
    delivery_.BroadcastText(s, ChatSubtype::Action, Format("[%d] ", slot) + std::string(s->offers.Name(slot)), out);
  }
}

// Only the first acknowledgement of the fragment in flight moves the
// transfer on: a repeated one, or one of an earlier transfer's fragment,
// would put a second fragment in flight, and the user drops a fragment
// that overtakes the one before it. In a window, any fragment of the
// running transfer.
void ChatTransfer::OnAcknowledgement(ChatLocked& s, const ChatInbound& in, uint32_t serial,
                                     const std::optional<AcknowledgedPacket>& acked, ChatOutput& out) {
  ChatPeer& peer = s->peers[in.who.index];
  bool fragment_done =
      acked && acked->was_in_use && acked->subtype == ChatSubtype::FileFragment &&
      (peer.windowed ? static_cast<int32_t>(serial - peer.first_serial) >= 0 : serial == peer.fragment_serial);
  if (fragment_done && peer.windowed) ResendOvertaken(s, peer, serial, out);
  if ((fragment_done && peer.bytes_sent != 0) || peer.fragment_held)
    FillWindow(s, in.who.index, in.packet.channel, out);
}

bool ChatTransfer::SendNextFragment(ChatLocked& s, int peer_index, std::string_view channel, ChatOutput& out) {
  ChatPeer& peer = s->peers[peer_index];
  std::array<uint8_t, kMaxFragmentData> data;
  std::optional<size_t> count = s->offers.ReadAt(peer.offered_file_index, peer.bytes_sent, data);
  if (!count) {
    out.ToChannel(channel, "*** Cannot set file pointer!\r\n", context_.Colour(MessageClass::Server));
    // Nothing more can be sent: the downloader hears so instead of waiting.
    StopUpload(s, peer_index);
    delivery_.Send(s, peer_index, ChatSubtype::NoFileOffered, {}, out);
    return false;
  }
  std::array<uint8_t, kMaxFragmentPayload> payload;
  size_t size = BuildFileFragment(payload, peer.bytes_sent, std::span<const uint8_t>(data.data(), *count));
  std::span<const uint8_t> fragment(payload.data(), size);
  bool last = *count < kMaxFragmentData;
  // The last fragment waits until the user has acknowledged everything
  // else; the next acknowledgement from it tries again. So does a fragment
  // that found the pending list full.
  peer.fragment_held = last && s->pending.HasUnacknowledged(peer.address);
  if (peer.fragment_held) return false;
  peer.fragment_held = !delivery_.Send(s, peer_index, ChatSubtype::FileFragment, fragment, out);
  if (peer.fragment_held) return false;
  peer.fragment_serial = s->serial;
  if (!last) {
    peer.bytes_sent += static_cast<uint32_t>(kMaxFragmentData);
    return true;
  }
  peer.bytes_sent = 0;
  out.ToChannel(channel,
                Format("*** File transfer to %s has completed.\r\n", std::string(peer.nickname.view()).c_str()),
                context_.Colour(MessageClass::Server));
  return true;
}

// Toward a peer that announced it, fragments go out until a window of them
// is in flight; toward any other, one at a time.
void ChatTransfer::FillWindow(ChatLocked& s, int peer_index, std::string_view channel, ChatOutput& out) {
  ChatPeer& peer = s->peers[peer_index];
  while (SendNextFragment(s, peer_index, channel, out) && peer.windowed && peer.bytes_sent != 0 &&
         s->pending.CountInUse(peer.address, ChatSubtype::FileFragment, peer.first_serial) < kTransferWindow) {
  }
}

// Fragments sent before the one just acknowledged, and still unanswered
// after several later ones were, are taken as lost and sent at once.
void ChatTransfer::ResendOvertaken(ChatLocked& s, const ChatPeer& peer, uint32_t acked_serial, ChatOutput& out) {
  constexpr uint16_t kOvertakenLimit = 3;
  int32_t now = context_.NowMs();
  s->pending.ForEachInUse([&](PendingChatPacket& record) {
    if (record.peer != peer.address || record.subtype != ChatSubtype::FileFragment) return;
    if (static_cast<int32_t>(record.serial - peer.first_serial) < 0) return;
    if (static_cast<int32_t>(acked_serial - record.overtaken_after) <= 0) return;
    if (++record.overtaken >= kOvertakenLimit) delivery_.Resend(s, record, now, out);
  });
}

void ChatTransfer::StopUpload(ChatLocked& s, int peer_index) {
  ChatPeer& peer = s->peers[peer_index];
  peer.bytes_sent = 0;
  peer.fragment_held = false;
  peer.windowed = false;
  // Its fragments in flight are not wanted any more.
  s->pending.ForEachInUse([&](PendingChatPacket& record) {
    if (record.peer == peer.address && record.subtype == ChatSubtype::FileFragment) record.in_use = false;
  });
}

void ChatTransfer::OnFileRequest(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  int32_t slot = ParseDecimal(in.text);
  if (!s->offers.IsOffered(slot)) {
    delivery_.Send(s, in.who.index, ChatSubtype::NoFileOffered, {}, out);
    return;
  }
  StopUpload(s, in.who.index);
  ChatPeer& peer = s->peers[in.who.index];
  peer.offered_file_index = static_cast<int16_t>(slot);
  out.ToChannel(in.packet.channel,
                Format("*** %s has requested file #%s.\r\n", std::string(peer.nickname.view()).c_str(),
                       std::string(in.text).c_str()),
                context_.Colour(MessageClass::Server));
  peer.windowed = context_.WindowedTransfers() && context_.capabilities.Has(in.sender, capability::kWindowedTransfer);
  peer.first_serial = s->serial + 1;
  peer.upload_start_ms = context_.NowMs();
  FillWindow(s, in.who.index, in.packet.channel, out);
}

void ChatTransfer::OnDownloadCancelled(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  StopUpload(s, in.who.index);
  const ChatPeer& peer = s->peers[in.who.index];
  out.ToChannel(in.packet.channel, "*** " + std::string(peer.nickname.view()) + " has cancelled the download.",
                context_.Colour(MessageClass::Server));
}

}  // namespace vorn
