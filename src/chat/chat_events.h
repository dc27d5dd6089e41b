#pragma once
// What each inbound chat packet does: the sender is recorded, the packet
// acknowledged and checked for repeats (ChatDelivery), then shown and
// answered here, or handed to the file transfers.
#include <cstdint>
#include <span>
#include <string>

#include "chat/chat_context.h"
#include "chat/chat_delivery.h"
#include "chat/chat_transfer.h"

namespace vorn {

class ChatEvents {
 public:
  ChatEvents(ChatContext& context, ChatState& state, ChatDelivery& delivery, ChatTransfer& transfer)
      : context_(context), state_(state), delivery_(delivery), transfer_(transfer) {}

  // Receive thread: a chat frame from sender, from offset 13 of the frame.
  void OnChatPacket(PeerAddress sender, std::span<const uint8_t> body);

 private:
  void Handle(ChatLocked& s, PeerAddress sender, const ChatPacketView& packet, bool list_open, ChatOutput& out);
  void HandleAck(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  void HandleQuit(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  void HandleEvent(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  void OnPart(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  void OnWhoQuery(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  void OnPrivate(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  void OnPingReply(const ChatInbound& in, ChatOutput& out);
  void ShowInChannel(const ChatInbound& in, std::string text, MessageClass cls, ChatOutput& out);

  ChatContext& context_;
  ChatState& state_;
  ChatDelivery& delivery_;
  ChatTransfer& transfer_;
};

}  // namespace vorn
