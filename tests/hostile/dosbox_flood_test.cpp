// Floods into the DOSBox driver's port: many more packets than the ring's
// slots, from DOSBox and from strangers, mixed with broken and oversized
// ones, with and without a program draining the ring at the same time.
// Every datagram must be either in the ring or counted as a drop, each slot
// must hold one whole packet that was sent, and the driver must still
// answer and forward afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "ipx/dosbox_driver.h"
#include "ipx/packet_ring.h"
#include "net/messages.h"
#include "platform/udp_socket.h"
#include "support/test_node.h"

namespace vorn {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kLoopback = 0x7F000001;
constexpr PeerAddress kOwn{0x01020304, 2213};  // a node number only
constexpr size_t kBatch = 50;
constexpr size_t kBatches = 10;

const Bytes kRegistrationRequest = {
    0xFF, 0xFF, 0x00, 0x1E, 0x00, 0x00,        // no checksum, length 30, control, type
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x02,  // destination network, node 0, socket 2
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x02};  // source network, node, socket 2
const Bytes kPeerNode = {0x0A, 0x00, 0x00, 0x02, 0x08, 0xA6};

// An IPX packet for the peer node whose data starts with its number.
Bytes Packet(uint32_t number, size_t data_size = 16) {
  Bytes data(std::max<size_t>(data_size, 4), static_cast<uint8_t>(number));
  for (size_t i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(number >> (8 * i));
  const size_t length = 30 + data.size();
  Bytes out = {0xFF, 0xFF, uint8_t(length >> 8), uint8_t(length), 0x00, 0x04, 0, 0, 0, 0};
  out.reserve(length);
  out.insert(out.end(), kPeerNode.begin(), kPeerNode.end());
  out.insert(out.end(), {0x86, 0x9C, 0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0x08, 0xA5, 0x86, 0x9C});
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

uint32_t NumberOf(std::span<const uint8_t> payload) {
  uint32_t number = 0;
  for (size_t i = 0; i < 4 && i < payload.size(); ++i) number |= uint32_t{payload[i]} << (8 * i);
  return number;
}

class Endpoint {
 public:
  Endpoint() { EXPECT_TRUE(socket_.Open() && socket_.Bind(kLoopback, 0) && socket_.SetNonBlocking()); }
  void Send(PeerAddress to, const Bytes& data) const { socket_.SendTo(to, data); }
  // The driver reads its socket in order: once a registration sent after
  // them is answered, everything this endpoint sent before has been handled.
  bool Settle(PeerAddress driver) const {
    Send(driver, kRegistrationRequest);
    for (int waits = 0; waits < 50; ++waits) {
      if (WaitReadable(socket_, wake_, 100) != WaitResult::Readable) continue;
      std::array<uint8_t, 2048> buffer{};
      PeerAddress from;
      bool truncated = false;
      if (socket_.RecvFrom(buffer, from, truncated) == 30) return true;
    }
    return false;
  }

 private:
  UdpSocket socket_;
  WakeSignal wake_;
};

class DosboxFlood : public ::testing::Test {
 protected:
  void SetUp() override {
    uint32_t error = 0;
    ASSERT_TRUE(driver.Open(error));
    std::span<uint8_t> memory;
    ASSERT_TRUE(driver.Register(LinkInfo{kOwn}, memory));
    ring = PacketRing(memory);
    ring.WriteFrameHeaders();
    ASSERT_TRUE(dosbox.Settle(Port()));
  }
  PeerAddress Port() const { return {kLoopback, driver.BoundPort()}; }
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
      for (size_t i = sent; i < std::min(count, sent + kBatch); ++i) dosbox.Send(Port(), Packet(first + static_cast<uint32_t>(i)));
      ASSERT_TRUE(dosbox.Settle(Port()));
    }
  }
  // Read as the program does: only after the hand-over byte says filled.
  GameFrame SlotFrame(size_t index) const {
    EXPECT_TRUE(ring.slot(index).IsFilled());
    return ParseGameFrame(ring.slot(index).Frame()).value();
  }

  RecordingWindow window;
  DosboxDriver driver{window, 0};
  PacketRing ring;
  Endpoint dosbox;
};

TEST_F(DosboxFlood, AFullRingKeepsTheFirstPacketsAndCountsEveryOtherOne) {
  constexpr size_t kSent = kBatch * kBatches;
  Flood(0, kSent);
  EXPECT_EQ(driver.Count(DosboxCounter::kForwarded), kRingSlotCount);
  EXPECT_EQ(driver.Count(DosboxCounter::kRingFull), kSent - kRingSlotCount);
  for (size_t i = 0; i < kRingSlotCount; ++i) {
    ASSERT_TRUE(ring.slot(i).IsFilled());
    const GameFrame frame = SlotFrame(i);
    EXPECT_EQ(NumberOf(frame.payload), i);  // the first packets, in order
    EXPECT_EQ(frame.payload.size(), 16u);
    EXPECT_EQ(frame.sequence, static_cast<int32_t>(i + 1));  // drops leave no gaps
  }
  // Drained, the ring takes the next packets into the same slots.
  DrainRing(ring, [](PacketSlot slot) { slot.Free(); });
  Flood(1000, 100);
  EXPECT_EQ(driver.Count(DosboxCounter::kForwarded), 2 * kRingSlotCount);
  for (size_t i = 0; i < kRingSlotCount; ++i) {
    EXPECT_EQ(NumberOf(SlotFrame(i).payload), 1000 + i);
    EXPECT_EQ(SlotFrame(i).sequence, static_cast<int32_t>(kRingSlotCount + i + 1));
  }
}

TEST_F(DosboxFlood, StrangersBrokenAndOversizedPacketsNeverReachTheRing) {
  Endpoint stranger;
  ASSERT_TRUE(stranger.Settle(Port()));  // a registration of its own takes DOSBox's place
  ASSERT_TRUE(dosbox.Settle(Port()));    // and DOSBox takes it back
  size_t sent = 0;
  for (uint32_t n = 0; n < kBatch * kBatches; ++n, ++sent) {
    switch (n % 5) {
      case 0: stranger.Send(Port(), Packet(n)); break;              // not the registered DOSBox
      case 1: dosbox.Send(Port(), Packet(n, 1001)); break;          // more than a slot holds
      case 2: dosbox.Send(Port(), Bytes(n % 29, 0xFF)); break;      // shorter than a header
      case 3: dosbox.Send(Port(), Bytes(2049 + n, 0x11)); break;    // longer than any packet
      case 4: {
        Bytes lying = Packet(n);
        lying[3] = 0xFF;  // claims more than it carries
        dosbox.Send(Port(), lying);
        break;
      }
    }
    if (n % kBatch == kBatch - 1) {
      ASSERT_TRUE(dosbox.Settle(Port()) && stranger.Settle(Port()) && dosbox.Settle(Port()));
    }
  }
  EXPECT_EQ(Dropped(), sent);
  EXPECT_EQ(driver.Count(DosboxCounter::kForwarded), 0u);
  for (size_t i = 0; i < kRingSlotCount; ++i) EXPECT_FALSE(ring.slot(i).IsFilled());
  // DOSBox is still heard.
  dosbox.Send(Port(), Packet(7));
  ASSERT_TRUE(dosbox.Settle(Port()));
  EXPECT_EQ(NumberOf(SlotFrame(0).payload), 7u);
}

TEST_F(DosboxFlood, ADrainerRacingTheFloodSeesEveryForwardedPacketOnce) {
  std::mutex mutex;
  std::vector<uint32_t> numbers;
  std::set<int32_t> sequences;
  std::atomic<bool> stop{false};
  std::thread drainer([&] {
    while (!stop.load()) {
      driver.WaitForEvent(20);
      DrainRing(ring, [&](PacketSlot slot) {
        const std::optional<GameFrame> frame = ParseGameFrame(slot.Frame());
        std::lock_guard lock(mutex);
        if (frame) {
          numbers.push_back(NumberOf(frame->payload));
          sequences.insert(frame->sequence);
        }
        slot.Free();
      });
    }
  });
  constexpr size_t kSent = kBatch * kBatches * 2;
  Flood(0, kSent);
  stop.store(true);
  driver.Wake();
  drainer.join();
  for (size_t i = 0; i < kRingSlotCount; ++i) {  // what the drainer left, wherever it is
    if (!ring.slot(i).IsFilled()) continue;
    const GameFrame frame = SlotFrame(i);
    numbers.push_back(NumberOf(frame.payload));
    sequences.insert(frame.sequence);
    ring.slot(i).Free();
  }

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
