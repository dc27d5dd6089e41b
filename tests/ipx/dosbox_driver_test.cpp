#include "ipx/dosbox_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>

#include "ipx/dosbox_test_support.h"
#include "platform/byte_io.h"

namespace vorn {
namespace {

using namespace dosbox_test;

constexpr PeerAddress kNewOwn{0x05060708, 2213};

using DosboxDriverTest = DosboxFixture;

// The registration's answer is read by DOSBox itself (DosboxEndToEnd) and
// the node it gives by RestartKeepsTheRegistrationAndReportsTheStaleNode.
// The port is taken once, and a wake is kept for the next wait.
TEST_F(DosboxDriverTest, APortIsTakenOnceAndAWakeKeptForTheNextWait) {
  DosboxDriver second(window, driver.BoundPort());
  uint32_t error = 0;
  EXPECT_FALSE(second.Open(error));
  EXPECT_EQ(error, uint32_t{EADDRINUSE});
  EXPECT_EQ(second.DescribeOpenError(error),
            "Cannot listen for DOSBox on 127.0.0.1:" + std::to_string(driver.BoundPort()) + ": Address already in use");

  EXPECT_FALSE(driver.WaitForEvent(0));
  driver.Wake();
  EXPECT_TRUE(driver.WaitForEvent(0));
  EXPECT_FALSE(driver.WaitForEvent(0));
}

TEST_F(DosboxDriverTest, PacketsFillTheFirstFreeSlots) {
  dosbox.Send(Port(), GamePacket(kBroadcastNode, {'B', '0', '1'}));
  dosbox.Send(Port(), IpxBytes(kPeerNode, 0x4001, 0x4002, {'R', '0', '1'}));
  Settle(dosbox);
  EXPECT_TRUE(driver.WaitForEvent(0));
  EXPECT_EQ(ring.slot(0).Destination().ip, kBroadcastDestination);
  EXPECT_EQ(SlotFrame(0).destination_socket, MakeIpxSocket(kDoom));
  EXPECT_EQ(Payload(0), (Bytes{'B', '0', '1'}));
  EXPECT_EQ(ring.slot(1).Destination(), kPeer);
  EXPECT_EQ(SlotFrame(1).destination_socket, MakeIpxSocket(0x4001));
  EXPECT_EQ(SlotFrame(1).source_socket, MakeIpxSocket(0x4002));
  EXPECT_EQ(Payload(1), (Bytes{'R', '0', '1'}));
  EXPECT_GT(SlotFrame(1).sequence, SlotFrame(0).sequence);

  ring.slot(0).Free();  // the program took slot 0; slot 1 still waits
  dosbox.Send(Port(), GamePacket(kPeerNode, {'R', '0', '2'}));
  Settle(dosbox);
  EXPECT_EQ(Payload(0), (Bytes{'R', '0', '2'}));
  EXPECT_GT(SlotFrame(0).sequence, SlotFrame(1).sequence);
  EXPECT_FALSE(ring.slot(2).IsFilled());
  EXPECT_EQ(driver.Count(DosboxCounter::kForwarded), 3u);
}

TEST_F(DosboxDriverTest, DeliversFramesButNotItsOwnBroadcasts) {
  std::array<uint8_t, 64> frame{};
  const size_t size = BuildGameFrame(frame, {.sequence = 7,
                                             .destination_socket = MakeIpxSocket(kDoom),
                                             .source_socket = MakeIpxSocket(0x869D),
                                             .payload = AsBytes("hi!")});
  const std::span<const uint8_t> bytes(frame.data(), size);
  driver.Deliver(kOwn, bytes, true);  // DOSBox's own broadcast, relayed back
  driver.Deliver(kPeer, bytes, false);
  const Bytes expected = {0xFF, 0xFF, 0x00, 0x21, 0x00, 0x04,              // no checksum, length 33, type IPX
                          0x00, 0x00, 0x00, 0x00,                          // destination network
                          0x01, 0x02, 0x03, 0x04, 0x08, 0xA5, 0x86, 0x9C,  // DOSBox's node, the frame's socket
                          0x00, 0x00, 0x00, 0x00,                          // source network
                          0x0A, 0x00, 0x00, 0x02, 0x08, 0xA6, 0x86, 0x9D,  // the sender, the frame's socket
                          'h',  'i',  '!'};
  EXPECT_EQ(dosbox.Receive(), expected);
  EXPECT_EQ(driver.Count(DosboxCounter::kEchoes), 1u);
  // A relayed broadcast reaches the game addressed to everyone.
  driver.Deliver(kPeer, bytes, true);
  Bytes to_everyone = expected;
  std::fill(to_everyone.begin() + 10, to_everyone.begin() + 16, 0xFF);
  EXPECT_EQ(dosbox.Receive(), to_everyone);

  driver.Deliver(kPeer, bytes.first(12), false);  // not a game frame
  EXPECT_EQ(driver.Count(DosboxCounter::kUndeliverable), 1u);
}

TEST_F(DosboxDriverTest, RestartKeepsTheRegistrationAndReportsTheStaleNode) {
  driver.Close();
  dosbox.Send(Port(), GamePacket(kPeerNode, {1}));
  Settle(dosbox);  // still answered: the endpoint stays open
  EXPECT_EQ(driver.Count(DosboxCounter::kUnlinked), 1u);
  EXPECT_FALSE(ring.slot(0).IsFilled());

  uint32_t error = 0;
  ASSERT_TRUE(driver.Open(error));
  Link(kNewOwn);
  const std::string warning = window.Text();
  EXPECT_EQ(warning,
            "DOSBox still uses the node 1.2.3.4:2213; restart DOSBox's ipxnet connection to use the new "
            "address 5.6.7.8:2213.\r\n");
  EXPECT_EQ(driver.ClientAddress(), dosbox.Address());
  dosbox.Send(Port(), GamePacket(kPeerNode, {2}));
  ASSERT_TRUE(driver.WaitForEvent(5000));
  EXPECT_EQ(Payload(0), Bytes{2});

  // Frames still reach DOSBox under the node it holds; the own node's are
  // echoes under either address.
  std::array<uint8_t, 64> frame{};
  const std::span<const uint8_t> bytes(frame.data(), BuildGameFrame(frame, {.payload = AsBytes("x")}));
  driver.Deliver(kNewOwn, bytes, false);
  driver.Deliver(kPeer, bytes, false);
  const Bytes received = dosbox.Receive();
  ASSERT_EQ(received.size(), 31u);
  EXPECT_EQ(Bytes(received.begin() + 10, received.begin() + 16), (Bytes{0x01, 0x02, 0x03, 0x04, 0x08, 0xA5}));
  EXPECT_EQ(driver.Count(DosboxCounter::kEchoes), 1u);

  // A new connection takes the new node, and the warning ends.
  Settle(dosbox);
  EXPECT_EQ(driver.ClientNode(), kNewOwn);
  Link(kNewOwn);
  EXPECT_EQ(window.Text(), warning);
}

}  // namespace
}  // namespace vorn
