#pragma once
// Datagrams waiting out their delay. The slots are made once, when the relay
// opens; a full queue refuses, it never grows.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vorn {

// Larger than anything the nodes send (a relayed frame wrapped twice).
inline constexpr size_t kMaxRelayDatagram = 4096;

enum class RelayDirection { ToTarget = 0, ToClient = 1 };

struct QueuedDatagram {
  bool in_use = false;
  int32_t due_ms = 0;
  uint64_t order = 0;  // equal due times leave in arrival order
  size_t client = 0;   // the relay's client slot
  RelayDirection direction = RelayDirection::ToTarget;
  size_t length = 0;
  std::array<uint8_t, kMaxRelayDatagram> bytes{};

  std::span<const uint8_t> data() const { return std::span(bytes).first(length); }
};

class DelayQueue {
 public:
  explicit DelayQueue(size_t capacity = 0) : slots_(capacity) {}

  // False when the queue is full or the datagram too long.
  bool Push(int32_t due_ms, size_t client, RelayDirection direction, std::span<const uint8_t> data);
  // The datagram that is due first, if it is due at now_ms; its slot is
  // free again, and the pointer stays valid until the next Push.
  const QueuedDatagram* PopDue(int32_t now_ms);
  // Milliseconds until the first one is due (0 when overdue); none when empty.
  std::optional<int32_t> WaitMs(int32_t now_ms) const;
  // Forgets what waits for or from a client that the relay let go.
  void DropClient(size_t client);

  size_t size() const { return used_; }
  size_t capacity() const { return slots_.size(); }

 private:
  // The slot due first; slots_.size() when the queue is empty.
  size_t FirstIndex() const;

  std::vector<QueuedDatagram> slots_;
  size_t used_ = 0;
  uint64_t next_order_ = 0;
};

}  // namespace vorn
