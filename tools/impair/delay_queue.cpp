#include "impair/delay_queue.h"

#include <algorithm>

namespace vorn {
namespace {

// Signed distance from a to b on the wrapping millisecond clock.
int32_t Until(int32_t from_ms, int32_t to_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(to_ms) - static_cast<uint32_t>(from_ms));
}

bool Earlier(const QueuedDatagram& a, const QueuedDatagram& b) {
  int32_t gap = Until(a.due_ms, b.due_ms);
  return gap > 0 || (gap == 0 && a.order < b.order);
}

}  // namespace

bool DelayQueue::Push(int32_t due_ms, size_t client, RelayDirection direction, std::span<const uint8_t> data) {
  if (data.size() > kMaxRelayDatagram) return false;
  auto free = std::ranges::find_if(slots_, [](const QueuedDatagram& slot) { return !slot.in_use; });
  if (free == slots_.end()) return false;
  free->in_use = true;
  free->due_ms = due_ms;
  free->order = next_order_++;
  free->client = client;
  free->direction = direction;
  free->length = data.size();
  std::ranges::copy(data, free->bytes.begin());
  ++used_;
  return true;
}

size_t DelayQueue::FirstIndex() const {
  size_t first = slots_.size();
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].in_use && (first == slots_.size() || Earlier(slots_[i], slots_[first]))) first = i;
  }
  return first;
}

const QueuedDatagram* DelayQueue::PopDue(int32_t now_ms) {
  size_t first = FirstIndex();
  if (first == slots_.size() || Until(now_ms, slots_[first].due_ms) > 0) return nullptr;
  slots_[first].in_use = false;
  --used_;
  return &slots_[first];
}

std::optional<int32_t> DelayQueue::WaitMs(int32_t now_ms) const {
  size_t first = FirstIndex();
  if (first == slots_.size()) return std::nullopt;
  return std::max(0, Until(now_ms, slots_[first].due_ms));
}

void DelayQueue::DropClient(size_t client) {
  for (QueuedDatagram& slot : slots_) {
    if (slot.in_use && slot.client == client) {
      slot.in_use = false;
      --used_;
    }
  }
}

}  // namespace vorn
