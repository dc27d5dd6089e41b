#pragma once
// What a chat operation wants shown and sent, gathered while the chat's lock
// is held and carried out after it is released: printing from the receive
// thread may wait for the UI thread, which may itself be waiting for the lock,
// and no thread should wait for another's sending.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chat/chat_windows.h"
#include "platform/peer_address.h"

namespace vorn {

struct ChatLine {
  bool to_input = false;
  ChatInputId input = 0;
  std::string channel;
  std::string text;
  uint32_t colour = 0;
};

// A datagram to send: bytes [offset, offset + length) of the output's buffer.
struct ChatDatagram {
  PeerAddress to;
  size_t offset = 0;
  size_t length = 0;
};

class ChatOutput {
 public:
  void Send(PeerAddress to, std::span<const uint8_t> packet) {
    datagrams_.push_back(ChatDatagram{to, bytes_.size(), packet.size()});
    bytes_.insert(bytes_.end(), packet.begin(), packet.end());
  }
  void ToChannel(std::string_view channel, std::string text, uint32_t colour) {
    lines_.push_back(ChatLine{false, 0, std::string(channel), std::move(text), colour});
  }
  void ToInput(ChatInputId input, std::string text, uint32_t colour) {
    lines_.push_back(ChatLine{true, input, {}, std::move(text), colour});
  }
  void RefreshChatList() { refresh_chat_list_ = true; }
  void Beep() { beep_ = true; }

  const std::vector<ChatDatagram>& datagrams() const { return datagrams_; }
  std::span<uint8_t> Bytes(const ChatDatagram& datagram) {
    return std::span(bytes_).subspan(datagram.offset, datagram.length);
  }
  const std::vector<ChatLine>& lines() const { return lines_; }
  bool refreshChatList() const { return refresh_chat_list_; }
  bool beep() const { return beep_; }

 private:
  std::vector<ChatDatagram> datagrams_;
  std::vector<uint8_t> bytes_;
  std::vector<ChatLine> lines_;
  bool refresh_chat_list_ = false;
  bool beep_ = false;
};

}  // namespace vorn
