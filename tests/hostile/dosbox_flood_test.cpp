// Floods into the DOSBox driver's port: every datagram is in the ring or
// counted as a drop, each slot holds one whole packet that was sent, and the
// driver still answers and forwards afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
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

uint32_t NumberOf(std::span<const uint8_t> payload) {
  uint32_t number = 0;
  for (size_t i = 0; i < 4 && i < payload.size(); ++i) number |= uint32_t{payload[i]} << (8 * i);
  return number;
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
  // Sends count packets numbered from first, a batch at a time.
  void Flood(uint32_t first, size_t count) {
    for (size_t sent = 0; sent < count; sent += kBatch) {
      for (size_t i = sent; i < std::min(count, sent + kBatch); ++i)
        dosbox.Send(Port(), Packet(first + static_cast<uint32_t>(i)));
      Settle(dosbox);
    }
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
  dosbox.Send(Port(), Packet(7));
  Settle(dosbox);
  EXPECT_EQ(NumberOf(SlotFrame(0).payload), 7u);
}

// A full ring counts the rest and takes none of them; which slots fill in
// which order is the driver test's (PacketsFillTheFirstFreeSlots).
TEST_F(DosboxFlood, ADrainerRacingTheFloodSeesEveryForwardedPacketOnce) {
  std::mutex mutex;
  std::vector<uint32_t> numbers;
  std::set<int32_t> sequences;
  auto take = [&](PacketSlot slot) {
    if (const std::optional<GameFrame> frame = ParseGameFrame(slot.Frame())) {
      std::lock_guard lock(mutex);
      numbers.push_back(NumberOf(frame->payload));
      sequences.insert(frame->sequence);
    }
    slot.Free();
  };
  std::atomic<bool> stop{false};
  std::thread drainer([&] {
    while (!stop.load()) {
      driver.WaitForEvent(20);
      DrainRing(ring, take);
    }
  });
  constexpr size_t kSent = kBatch * kBatches * 2;
  Flood(0, kSent);
  stop.store(true);
  driver.Wake();
  drainer.join();
  for (size_t i = 0; i < kRingSlotCount; ++i)  // what the drainer left, wherever it is
    if (ring.slot(i).IsFilled()) take(ring.slot(i));

  const uint32_t forwarded = driver.Count(DosboxCounter::kForwarded);
  EXPECT_EQ(forwarded + driver.Count(DosboxCounter::kRingFull), kSent);
  EXPECT_GE(forwarded, kRingSlotCount);
  ASSERT_EQ(numbers.size(), forwarded) << "a packet was lost or taken twice";
  EXPECT_EQ(std::set<uint32_t>(numbers.begin(), numbers.end()).size(), numbers.size());
  for (uint32_t number : numbers) EXPECT_LT(number, kSent);
  // Sequence numbers 1..forwarded, each once: a drop never uses one up.
  EXPECT_EQ(sequences.size(), forwarded);
  EXPECT_EQ(*sequences.begin(), 1);
  EXPECT_EQ(*sequences.rbegin(), static_cast<int32_t>(forwarded));
}

}  // namespace
}  // namespace vorn
