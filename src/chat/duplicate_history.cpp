#include "chat/duplicate_history.h"

#include <algorithm>

namespace vorn {

bool DuplicateHistory::IsDuplicate(ChatSubtype subtype, int peer_index, std::string_view text, int64_t now_s) {
  text = text.substr(0, kMaxText);
  Slot* empty = nullptr;
  for (Slot& slot : slots_) {
    if (slot.in_use && now_s - slot.time_s > kLifetimeSeconds) slot.in_use = false;
    if (slot.in_use && slot.subtype == subtype && slot.peer_index == peer_index && slot.view() == text) {
      slot.time_s = now_s;
      return true;
    }
    if (!slot.in_use && empty == nullptr) empty = &slot;
  }
  if (empty != nullptr) {
    empty->in_use = true;
    empty->subtype = subtype;
    empty->peer_index = peer_index;
    empty->length = text.size();
    std::copy(text.begin(), text.end(), empty->text.begin());
    empty->time_s = now_s;
  }
  return false;
}

}  // namespace vorn
