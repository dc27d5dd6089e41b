#include "ipx/packet_ring.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vorn
