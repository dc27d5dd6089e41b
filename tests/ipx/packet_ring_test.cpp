#include "ipx/packet_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace vorn {
namespace {

constexpr PeerAddress kPeer{0x7F000001, 40001};

TEST(PacketRingTest, FillRefusesWhatCannotBeHandedOver) {
  std::vector<uint8_t> memory(kRingBytes);
  PacketRing ring(memory);
  const std::vector<uint8_t> fits(kMaxSlotPayload);
  const std::vector<uint8_t> too_long(kMaxSlotPayload + 1);
  EXPECT_FALSE(ring.slot(0).Fill({{0x00FFFFFF, 1}, 0, {}, {}, fits}));  // 0.x.x.x reads as free
  EXPECT_FALSE(ring.slot(0).Fill({kPeer, 0, {}, {}, too_long}));
  EXPECT_TRUE(ring.slot(19).Fill({kPeer, 0, {}, {}, fits}));   // the last slot ends the ring
  EXPECT_FALSE(ring.slot(19).Fill({kPeer, 0, {}, {}, fits}));  // not free
  EXPECT_EQ(ring.slot(19).Frame().size(), kRingSlotBytes - kSlotFrameOffset);
  EXPECT_EQ(ring.FirstFreeSlot(), size_t{0});
  EXPECT_FALSE(PacketRing(std::span<uint8_t>(memory).first(kRingBytes - 1)).valid());
}

// The driver's thread and the send thread share nothing but the ring: every
// packet must arrive whole (its payload matches its header), and under
// ThreadSanitizer the hand-over word alone must order the two threads.
TEST(PacketRingTest, SlotsPassBetweenThreadsThroughTheHandOverWordAlone) {
  constexpr int kPackets = 3000;
  std::vector<uint8_t> memory(kRingBytes);
  PacketRing ring(memory);
  std::jthread driver([&](std::stop_token stop) {
    for (int i = 1; i <= kPackets && !stop.stop_requested();) {
      const auto mark = static_cast<uint8_t>(i);
      const std::vector<uint8_t> payload(static_cast<size_t>(i % 50), mark);
      std::optional<size_t> free = ring.FirstFreeSlot();
      if (free && ring.slot(*free).Fill({{kPeer.ip, static_cast<uint16_t>(i)}, i, {mark, 0}, {}, payload})) {
        ++i;
      } else {
        std::this_thread::yield();
      }
    }
  });

  int received = 0;
  int damaged = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  const auto take = [&](PacketSlot slot) {
    const std::span<const uint8_t> frame = slot.Frame();
    const uint16_t i = slot.Destination().port;
    const bool whole =
        frame.size() == kGameFrameHeaderSize + i % 50 && frame[9] == static_cast<uint8_t>(i) &&
        std::all_of(frame.begin() + 13, frame.end(), [&](uint8_t b) { return b == static_cast<uint8_t>(i); });
    damaged += whole ? 0 : 1;
    ++received;
    slot.Free();
  };
  while (received < kPackets && std::chrono::steady_clock::now() < deadline) {
    if (DrainRing(ring, take) > 0) continue;
    // Without the drivers' ring lock a fill can land in a slot a drain
    // found still free, just above the slot that drain freed, and the next
    // drain stops below it. The drivers fill and drain under one lock for
    // that; here the stray is swept up.
    for (size_t index = 0; index < kRingSlotCount; ++index)
      if (ring.slot(index).IsFilled()) take(ring.slot(index));
    std::this_thread::yield();
  }
  EXPECT_EQ(received, kPackets);
  EXPECT_EQ(damaged, 0);
}

}  // namespace
}  // namespace vorn
