#pragma once
// What a chat operation wants shown, gathered while the chat's lock is held
// and carried out after it is released: printing from the receive thread
// waits for the UI thread, which may itself be waiting for the lock.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chat/chat_windows.h"

namespace vorn {

struct ChatLine {
  bool toInput = false;
  ChatInputId input = 0;
  std::string channel;
  std::string text;
  uint32_t colour = 0;
};

class ChatOutput {
 public:
  void ToChannel(std::string_view channel, std::string text, uint32_t colour) {
    lines_.push_back(ChatLine{false, 0, std::string(channel), std::move(text), colour});
  }
  void ToInput(ChatInputId input, std::string text, uint32_t colour) {
    lines_.push_back(ChatLine{true, input, {}, std::move(text), colour});
  }
  void RefreshChatList() { refresh_chat_list_ = true; }
  void Beep() { beep_ = true; }

  const std::vector<ChatLine>& lines() const { return lines_; }
  bool refreshChatList() const { return refresh_chat_list_; }
  bool beep() const { return beep_; }

 private:
  std::vector<ChatLine> lines_;
  bool refresh_chat_list_ = false;
  bool beep_ = false;
};

}  // namespace vorn
