#include "chat/serial_history.h"

namespace vorn {

bool SerialHistory::Seen(int peer_index, uint32_t serial, int32_t now_ms) {
  for (Slot& slot : slots_) {
    if (slot.peer_index != peer_index || slot.serial != serial) continue;
    // A difference of two NowMs readings, correct across the clock's wrap.
    const auto age = static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(slot.time_ms));
    if (age > kLifetimeMs) {
      slot.peer_index = -1;
      continue;
    }
    return true;
  }
  return false;
}

void SerialHistory::Remember(int peer_index, uint32_t serial, int32_t now_ms) {
  slots_[next_] = {peer_index, serial, now_ms};
  next_ = (next_ + 1) % kSlots;
}

void SerialHistory::Forget(int peer_index) {
  for (Slot& slot : slots_) {
    if (slot.peer_index == peer_index) slot.peer_index = -1;
  }
}

}  // namespace vorn
