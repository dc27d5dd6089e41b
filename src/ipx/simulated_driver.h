#pragma once
// A driver in user memory for tests and benchmarks: it owns the packet ring,
// lets a test put game packets into it as a local game would, records what
// the program registers and delivers, and answers the game query with what
// the test set.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "ipx/packet_ring.h"
#include "net/messages.h"
#include "platform/driver.h"

namespace vorn {

class SimulatedDriver final : public Driver {
 public:
  // Deliveries kept for inspection; later ones are only counted. The store
  // is made up front, so Deliver allocates nothing.
  static constexpr size_t kRecordedDeliveries = 256;

  struct GamePacket {
    PeerAddress destination;  // ip kBroadcastDestination for a broadcast
    IpxSocket destination_socket = {};
    IpxSocket source_socket = {};
    std::span<const uint8_t> payload;
  };

  struct Delivery {
    PeerAddress sender;
    std::vector<uint8_t> frame;
    bool broadcast = false;
  };

  SimulatedDriver();

  // ---- Driver ----
  bool Open(uint32_t& error_code) override;
  bool Register(const LinkInfo& info, std::span<uint8_t>& ring) override;
  void Deliver(PeerAddress sender, std::span<const uint8_t> frame, bool broadcast) override;
  GameQuery QueryGame() override;
  bool WaitForEvent(int32_t timeout_ms) override;
  void Wake() override;
  void Close() override;
  void BeginDrainPass() override { ring_mutex_.lock(); }
  void EndDrainPass() override { ring_mutex_.unlock(); }

  // ---- what a test sets ----
  // Open fails with this code from now on; 0 lets it succeed again.
  void FailOpen(uint32_t error_code);
  void RefuseRegistration(bool refuse);
  // The running game; a socket of 00 00 means none.
  void SetRunningGame(IpxSocket socket, std::string_view name);

  // ---- the local game's side of the ring ----
  // Puts a packet into the first free slot with the next sequence number and
  // signals the event. The slot's index, nullopt when the ring is full.
  std::optional<size_t> PutGamePacket(const GamePacket& packet);
  // Fills one chosen slot without signalling (to lay out a ring by hand).
  bool FillSlot(size_t index, const GamePacket& packet);
  // Signals the event as the device does after filling slots.
  void Signal();
  PacketRing ring() { return PacketRing(ring_memory_); }

  // ---- what the program did ----
  bool IsOpen() const;
  std::vector<LinkInfo> Registrations() const;
  std::vector<Delivery> Deliveries() const;
  size_t QueryCount() const;
  size_t DeliveryCount() const;
  // Waits (bounded, in real time) until count frames were delivered.
  bool WaitForDeliveries(size_t count, std::chrono::milliseconds limit) const;
  // Waits (bounded) until a thread waits on the event with no signal
  // pending: every earlier signal has been taken and its drain is over.
  bool WaitUntilIdle(std::chrono::milliseconds limit) const;

 private:
  struct StoredDelivery {
    PeerAddress sender;
    bool broadcast = false;
    size_t size = 0;
    std::array<uint8_t, kMaxDatagram> frame{};
  };
  SlotPacket Stamp(const GamePacket& packet);

  std::array<uint8_t, kRingBytes> ring_memory_{};

  // Held by a drain pass of the program and by each fill, as a driver's
  // own thread would: a fill never lands behind a running pass.
  std::mutex ring_mutex_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool open_ = false;
  bool signalled_ = false;
  int waiters_ = 0;
  uint32_t open_error_ = 0;
  bool refuse_registration_ = false;
  int32_t next_sequence_ = 1;
  GameQuery game_;
  size_t query_count_ = 0;
  std::vector<LinkInfo> registrations_;
  std::vector<StoredDelivery> deliveries_;  // capacity kRecordedDeliveries
  size_t delivery_count_ = 0;
};

}  // namespace vorn
