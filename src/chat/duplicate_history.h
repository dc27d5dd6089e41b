#pragma once
// The packets seen in the last few seconds, so that a retransmission whose
// acknowledgement was lost is acknowledged again but not shown twice.
#include <array>
#include <cstdint>
#include <string_view>

#include "chat/chat_packet.h"

namespace vorn {

class DuplicateHistory {
 public:
  static constexpr size_t kSlots = 40;
  static constexpr size_t kMaxText = kMaxChatPayload - 1;
  static constexpr int64_t kLifetimeSeconds = 4;

  // True when the same subtype and text came from the same peer within the
  // lifetime (the slot's time is then renewed); otherwise the packet is
  // remembered in the first empty slot, if there is one. Texts compare
  // whole, so "lo" after "lol" is a new line; two empty texts are equal.
  bool IsDuplicate(ChatSubtype subtype, int peer_index, std::string_view text, int64_t now_s);

 private:
  struct Slot {
    bool in_use = false;
    ChatSubtype subtype = ChatSubtype::Text;
    int peer_index = 0;
    size_t length = 0;
    std::array<char, kMaxText> text{};
    int64_t time_s = 0;

    std::string_view view() const { return {text.data(), length}; }
  };

  std::array<Slot, kSlots> slots_{};
};

}  // namespace vorn
