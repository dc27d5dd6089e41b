// Floods into the DOSBox driver's port: every datagram that must not reach
// the ring is counted as a drop, and the driver still answers and forwards
// afterwards. A drain racing the driver: PacketRingTest and ThreeNodes.
#include <gtest/gtest.h>

#include <vector>

#include "ipx/dosbox_test_support.h"

namespace vorn {
namespace {

using namespace dosbox_test;

constexpr size_t kBatch = 50;
constexpr size_t kBatches = 10;

// An IPX packet for the peer node whose data starts with its number.
Bytes Packet(uint32_t number, size_t data_size = 16) {
  Bytes data(std::max<size_t>(data_size, 4), static_cast<uint8_t>(number));
  for (size_t i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(number >> (8 * i));
  return GamePacket(kPeerNode, data);
}

class DosboxFlood : public DosboxFixture {
 protected:
  uint32_t Dropped() const {
    uint32_t sum = 0;
    for (DosboxCounter c : {DosboxCounter::kMalformed, DosboxCounter::kOversized, DosboxCounter::kRingFull,
                            DosboxCounter::kForeign, DosboxCounter::kUnlinked})
      sum += driver.Count(c);
    return sum;
  }
};

// The stranger registers too: DOSBox takes its place back before each batch,
// so the stranger is also the client that is no longer heard.
TEST_F(DosboxFlood, StrangersBrokenAndOversizedPacketsNeverReachTheRing) {
  FakeDosbox stranger;
  Settle(stranger);
  Settle(dosbox);
  constexpr size_t kSent = kBatch * kBatches;
  for (uint32_t n = 0; n < kSent; ++n) {
    Bytes lying = Packet(n);
    lying[3] = 0xFF;                                                                      // claims more than it carries
    const std::pair<const FakeDosbox*, Bytes> kinds[] = {{&stranger, Packet(n)},          // not the registered DOSBox
                                                         {&dosbox, Packet(n, 1001)},      // more than a slot holds
                                                         {&dosbox, Bytes(n % 29, 0xFF)},  // shorter than a header
                                                         {&dosbox, Bytes(2049 + n, 0x11)},  // longer than any packet
                                                         {&dosbox, lying}};
    kinds[n % 5].first->Send(Port(), kinds[n % 5].second);
    if (n % kBatch == kBatch - 1) {
      Settle(dosbox);
      Settle(stranger);
      Settle(dosbox);
    }
  }
  EXPECT_EQ(Dropped(), kSent);
  EXPECT_EQ(driver.Count(DosboxCounter::kForwarded), 0u);
  EXPECT_EQ(driver.ClientAddress(), dosbox.Address());
  for (size_t i = 0; i < kRingSlotCount; ++i) EXPECT_FALSE(ring.slot(i).IsFilled());
  // DOSBox is still heard.
  const Bytes seven = Packet(7);
  dosbox.Send(Port(), seven);
  Settle(dosbox);
  EXPECT_EQ(Payload(0), Bytes(seven.begin() + 30, seven.end()));
}

}  // namespace
}  // namespace vorn
