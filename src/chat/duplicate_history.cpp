#include "chat/duplicate_history.h"

#include <algorithm>

namespace vorn {

bool DuplicateHistory::IsDuplicate(ChatSubtype subtype, int peer_index, std::string_view text, int64_t now_s) {
  text = text.substr(0, kMaxText);
  Slot* empty = nullptr;
  for (Slot& slot : slots_) {
    if (slot.inUse && now_s - slot.time_s > kLifetimeSeconds) slot.inUse = false;
    if (slot.inUse && slot.subtype == subtype && slot.peerIndex == peer_index && slot.view() == text) {
      slot.time_s = now_s;
      return true;
    }
    if (!slot.inUse && empty == nullptr) empty = &slot;
  }
  if (empty != nullptr) {
    empty->inUse = true;
    empty->subtype = subtype;
    empty->peerIndex = peer_index;
    empty->length = text.size();
    std::copy(text.begin(), text.end(), empty->text.begin());
    empty->time_s = now_s;
  }
  return false;
}

}  // namespace vorn
