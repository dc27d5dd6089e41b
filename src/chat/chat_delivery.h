#pragma once
// Chat packets that arrive: every packet but an acknowledgement is
// acknowledged and shown once, however many copies of it come; and packets
// that leave: each one kept until it is acknowledged and sent again on the
// resend timer, for at most 30 s, or once only to a peer that has never
// acknowledged anything (it may not be there at all, or its address was
// forged to make us send to it).
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "chat/chat_context.h"
#include "chat/chat_packet.h"
#include "chat/chat_state.h"

namespace vorn {

// An inbound packet once its sender was looked up.
struct ChatInbound {
  PeerAddress sender;
  PeerLookup who;
  bool list_open = false;
  const ChatPacketView& packet;
  std::string_view text;  // the payload's text
};

class ChatDelivery {
 public:
  static constexpr int32_t kDropPeerAfterMs = 30000;
  // Copies beyond the first to a peer that has never acknowledged anything.
  static constexpr uint16_t kResendsToStrangers = 1;

  explicit ChatDelivery(ChatContext& context) : context_(context) {}

  // False, sending nothing, for a payload over 600 bytes, a free entry or
  // when the pending list is full.
  bool Send(ChatLocked& s, int peer_index, ChatSubtype subtype, std::span<const uint8_t> payload, ChatOutput& out);
  // A text longer than one payload goes as several packets.
  bool SendText(ChatLocked& s, int peer_index, ChatSubtype subtype, std::string_view text, ChatOutput& out);
  // To every known user, the local one included.
  void Broadcast(ChatLocked& s, ChatSubtype subtype, std::span<const uint8_t> payload, ChatOutput& out);
  void BroadcastText(ChatLocked& s, ChatSubtype subtype, std::string_view text, ChatOutput& out);

  // The resend timer: sends again what is due and gives up what has waited
  // too long.
  void Tick(ChatLocked& s, ChatOutput& out);
  // How long the timer may sleep before a kept packet is due: at most
  // limit_ms, at least 1.
  int32_t UntilDueMs(ChatLocked& s, int32_t limit_ms);
  // Sends a kept packet again now.
  void Resend(ChatLocked& s, PendingChatPacket& record, int32_t now_ms, ChatOutput& out);

  // Acknowledges the packet unless it is a fragment (the download does so
  // once it has taken it); false for a copy already shown.
  bool Admit(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  void Acknowledge(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  // An acknowledgement: frees the packet's record, measures the round trip
  // and marks the sender as a peer that answers.
  std::optional<AcknowledgedPacket> OnAcknowledgement(ChatLocked& s, const ChatInbound& in, uint32_t serial);

 private:
  bool MaySendAgain(ChatLocked& s, const PendingChatPacket& record);
  void GiveUp(ChatLocked& s, PendingChatPacket& record, ChatOutput& out);

  ChatContext& context_;
};

}  // namespace vorn
