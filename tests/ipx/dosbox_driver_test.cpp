#include "ipx/dosbox_driver.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "ipx/packet_ring.h"
#include "net/messages.h"
#include "platform/byte_io.h"

namespace vorn {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kLoopback = 0x7F000001;
constexpr int kWaitMs = 5000;
// Node numbers only: nothing is ever sent to these.
constexpr PeerAddress kOwn{0x01020304, 2213};
constexpr PeerAddress kNewOwn{0x05060708, 2213};
constexpr PeerAddress kPeer{0x0A000002, 2214};
constexpr uint16_t kDoom = 0x869C;

const Bytes kRegistrationRequest = {
    0xFF, 0xFF, 0x00, 0x1E, 0x00, 0x00,              // no checksum, length 30, control, type
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x02,        // destination network, node 0, socket 2
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x02};       // source network, node, socket 2
const Bytes kBroadcastNode = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const Bytes kPeerNode = {0x0A, 0x00, 0x00, 0x02, 0x08, 0xA6};  // 10.0.0.2:2214

// An IPX packet as DOSBox sends it, laid out by hand.
Bytes IpxBytes(const Bytes& node, uint16_t destination_socket, uint16_t source_socket, const Bytes& data) {
  const size_t length = 30 + data.size();
  Bytes out = {0xFF, 0xFF, uint8_t(length >> 8), uint8_t(length), 0x00, 0x04, 0, 0, 0, 0};
  out.insert(out.end(), node.begin(), node.end());
  out.insert(out.end(), {uint8_t(destination_socket >> 8), uint8_t(destination_socket)});
  out.insert(out.end(), {0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0x08, 0xA5});  // network 0, source node
  out.insert(out.end(), {uint8_t(source_socket >> 8), uint8_t(source_socket)});
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes GamePacket(const Bytes& node, const Bytes& data, uint16_t socket = kDoom) {
  return IpxBytes(node, socket, socket, data);
}

// DOSBox's end of the tunnel: a plain socket on 127.0.0.1.
class FakeDosbox {
 public:
  FakeDosbox() {
    EXPECT_TRUE(socket_.Open() && socket_.Bind(kLoopback, 0) && socket_.SetNonBlocking());
  }
  PeerAddress Address() const { return {kLoopback, socket_.LocalPort()}; }
  void Send(PeerAddress to, const Bytes& data) const { EXPECT_EQ(socket_.SendTo(to, data), int(data.size())); }
  // The next datagram, or nothing after a bounded wait.
  Bytes Receive() const {
    if (WaitReadable(socket_, wake_, kWaitMs) != WaitResult::Readable) return {};
    std::array<uint8_t, 2048> buffer{};
    PeerAddress from;
    bool truncated = false;
    const int got = socket_.RecvFrom(buffer, from, truncated);
    return got > 0 ? Bytes(buffer.begin(), buffer.begin() + got) : Bytes{};
  }

 private:
  UdpSocket socket_;
  WakeSignal wake_;
};

class LinesWindow final : public MessageWindow {
 public:
  void Append(std::string_view text, MessageClass cls) override {
    std::lock_guard lock(mutex_);
    if (cls == MessageClass::Server) text_ += text;
  }
  std::string Text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

class DosboxDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uint32_t error = 0;
    ASSERT_TRUE(driver.Open(error));
    Link(kOwn);
  }
  void Link(PeerAddress own) {
    std::span<uint8_t> memory;
    ASSERT_TRUE(driver.Register(LinkInfo{own}, memory));
    ring = PacketRing(memory);
    ring.WriteFrameHeaders();
  }
  PeerAddress Server() const { return {kLoopback, driver.BoundPort()}; }
  Bytes Connect(const FakeDosbox& client) const {
    client.Send(Server(), kRegistrationRequest);
    return client.Receive();
  }
  // The driver reads one socket in order, so once a registration is
  // answered everything the client sent before has been handled.
  void Settle(const FakeDosbox& client) const { ASSERT_EQ(Connect(client).size(), 30u); }
  // Read as the program does: only after the hand-over word says filled.
  GameFrame SlotFrame(size_t index) const {
    EXPECT_TRUE(ring.slot(index).IsFilled());
    return ParseGameFrame(ring.slot(index).Frame()).value();
  }
  Bytes Payload(size_t index) const {
    std::span<const uint8_t> payload = SlotFrame(index).payload;
    return {payload.begin(), payload.end()};
  }

  LinesWindow window;
  DosboxDriver driver{window, 0};
  PacketRing ring;
  FakeDosbox dosbox;
};

TEST_F(DosboxDriverTest, RegistrationGivesTheOwnNode) {
  const Bytes reply = Connect(dosbox);
  const uint16_t port = driver.BoundPort();
  const Bytes expected = {
      0xFF, 0xFF, 0x00, 0x1E, 0x00, 0x00,                           // no checksum, length 30
      0x00, 0x00, 0x00, 0x00,                                       // the client's network
      0x01, 0x02, 0x03, 0x04, 0x08, 0xA5, 0x00, 0x02,               // its node 1.2.3.4:2213, socket 2
      0x00, 0x00, 0x00, 0x01,                                       // the server's network
      0x7F, 0x00, 0x00, 0x01, uint8_t(port >> 8), uint8_t(port),    // the server's node
      0x00, 0x02};
  EXPECT_EQ(reply, expected);
  EXPECT_EQ(driver.ClientAddress(), dosbox.Address());
  EXPECT_EQ(driver.ClientNode(), kOwn);
}

TEST_F(DosboxDriverTest, PacketsFillTheFirstFreeSlots) {
  Settle(dosbox);
  dosbox.Send(Server(), GamePacket(kBroadcastNode, {'B', '0', '1'}));
  dosbox.Send(Server(), IpxBytes(kPeerNode, 0x4001, 0x4002, {'R', '0', '1'}));
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
  EXPECT_FALSE(ring.slot(2).IsFilled());

  ring.slot(0).Free();  // the program took slot 0; slot 1 still waits
  dosbox.Send(Server(), GamePacket(kPeerNode, {'R', '0', '2'}));
  Settle(dosbox);
  EXPECT_EQ(Payload(0), (Bytes{'R', '0', '2'}));
  EXPECT_GT(SlotFrame(0).sequence, SlotFrame(1).sequence);
  EXPECT_FALSE(ring.slot(2).IsFilled());
  EXPECT_EQ(driver.Count(DosboxCounter::kForwarded), 3u);
}

TEST_F(DosboxDriverTest, DropsWhatIsNoPacketOrDoesNotFit) {
  Settle(dosbox);
  dosbox.Send(Server(), Bytes(kRegistrationRequest.begin(), kRegistrationRequest.end() - 1));  // 29 bytes
  Bytes longer_than_said = GamePacket(kPeerNode, {1, 2, 3});
  longer_than_said[3] -= 1;
  dosbox.Send(Server(), longer_than_said);
  Bytes shorter_than_said = GamePacket(kPeerNode, {1, 2, 3});
  shorter_than_said[3] += 1;
  dosbox.Send(Server(), shorter_than_said);
  dosbox.Send(Server(), GamePacket({0, 0, 0, 0, 0x08, 0xA5}, {1}));  // no such node
  dosbox.Send(Server(), GamePacket(kPeerNode, Bytes(1001, 0xAB)));
  dosbox.Send(Server(), GamePacket(kPeerNode, Bytes(1000, 0xCD)));
  Settle(dosbox);
  EXPECT_EQ(driver.Count(DosboxCounter::kMalformed), 4u);
  EXPECT_EQ(driver.Count(DosboxCounter::kOversized), 1u);
  EXPECT_EQ(Payload(0), Bytes(1000, 0xCD));
  EXPECT_FALSE(ring.slot(1).IsFilled());
}

TEST_F(DosboxDriverTest, AFullRingDropsAndCounts) {
  Settle(dosbox);
  for (uint8_t i = 0; i <= kRingSlotCount; ++i) dosbox.Send(Server(), GamePacket(kPeerNode, {i}));
  Settle(dosbox);
  for (size_t i = 0; i < kRingSlotCount; ++i) EXPECT_EQ(Payload(i), Bytes{uint8_t(i)});
  EXPECT_EQ(driver.Count(DosboxCounter::kRingFull), 1u);

  ring.slot(7).Free();
  dosbox.Send(Server(), GamePacket(kPeerNode, {99}));
  Settle(dosbox);
  EXPECT_EQ(Payload(7), Bytes{99});
}

TEST_F(DosboxDriverTest, OnlyTheLatestRegistrationIsHeard) {
  FakeDosbox stranger;
  Settle(dosbox);
  stranger.Send(Server(), GamePacket(kPeerNode, {1}));
  Settle(dosbox);
  EXPECT_FALSE(ring.slot(0).IsFilled());
  EXPECT_EQ(driver.Count(DosboxCounter::kForeign), 1u);

  // DOSBox reconnects from a new port: the old one is no longer the client.
  Settle(stranger);
  EXPECT_EQ(driver.ClientAddress(), stranger.Address());
  dosbox.Send(Server(), GamePacket(kPeerNode, {2}));
  stranger.Send(Server(), GamePacket(kPeerNode, {3}));
  Settle(stranger);
  EXPECT_EQ(Payload(0), Bytes{3});
  EXPECT_FALSE(ring.slot(1).IsFilled());
}

TEST_F(DosboxDriverTest, DeliversFramesButNotItsOwnBroadcasts) {
  Settle(dosbox);
  std::array<uint8_t, 64> frame{};
  const size_t size = BuildGameFrame(frame, {.sequence = 7, .destination_socket = MakeIpxSocket(kDoom),
                                             .source_socket = MakeIpxSocket(0x869D), .payload = AsBytes("hi!")});
  const std::span<const uint8_t> bytes(frame.data(), size);
  driver.Deliver(kOwn, bytes);  // DOSBox's own broadcast, relayed back
  driver.Deliver(kPeer, bytes);
  const Bytes expected = {
      0xFF, 0xFF, 0x00, 0x21, 0x00, 0x04,               // no checksum, length 33, type IPX
      0x00, 0x00, 0x00, 0x00,                           // destination network
      0x01, 0x02, 0x03, 0x04, 0x08, 0xA5, 0x86, 0x9C,   // DOSBox's node, the frame's socket
      0x00, 0x00, 0x00, 0x00,                           // source network
      0x0A, 0x00, 0x00, 0x02, 0x08, 0xA6, 0x86, 0x9D,   // the sender, the frame's socket
      'h', 'i', '!'};
  EXPECT_EQ(dosbox.Receive(), expected);
  EXPECT_EQ(driver.Count(DosboxCounter::kEchoes), 1u);

  driver.Deliver(kPeer, bytes.first(12));  // not a game frame
  EXPECT_EQ(driver.Count(DosboxCounter::kUndeliverable), 1u);
}

TEST_F(DosboxDriverTest, RestartKeepsTheRegistrationAndReportsTheStaleNode) {
  Settle(dosbox);
  driver.Close();
  dosbox.Send(Server(), GamePacket(kPeerNode, {1}));
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
  dosbox.Send(Server(), GamePacket(kPeerNode, {2}));
  ASSERT_TRUE(driver.WaitForEvent(kWaitMs));
  EXPECT_EQ(Payload(0), Bytes{2});

  // Frames still reach DOSBox under the node it holds; the own node's are
  // echoes under either address.
  std::array<uint8_t, 64> frame{};
  const std::span<const uint8_t> bytes(frame.data(), BuildGameFrame(frame, {.payload = AsBytes("x")}));
  driver.Deliver(kNewOwn, bytes);
  driver.Deliver(kPeer, bytes);
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

TEST_F(DosboxDriverTest, QueryGameNamesTheSocketDosboxSendsFrom) {
  auto name = [](const GameQuery& query) { return std::string(query.name, strnlen(query.name, 8)); };
  EXPECT_EQ(driver.QueryGame().socket, 0);

  Settle(dosbox);
  dosbox.Send(Server(), GamePacket(kBroadcastNode, {}, 0x0002));  // ipxnet ping
  Settle(dosbox);
  EXPECT_EQ(driver.QueryGame().socket, 0);

  dosbox.Send(Server(), GamePacket(kBroadcastNode, {1}, kDoom));
  Settle(dosbox);
  EXPECT_EQ(driver.QueryGame().SocketBytes(), (std::array<uint8_t, 2>{0x86, 0x9C}));
  EXPECT_EQ(name(driver.QueryGame()), "DOOM");

  dosbox.Send(Server(), GamePacket(kBroadcastNode, {1}, 0x4000));
  Settle(dosbox);
  EXPECT_EQ(driver.QueryGame().SocketBytes(), (std::array<uint8_t, 2>{0x40, 0x00}));
  EXPECT_EQ(name(driver.QueryGame()), "DOSBox");
}

TEST_F(DosboxDriverTest, ASecondDriverCannotTakeTheSamePort) {
  DosboxDriver second(window, driver.BoundPort());
  uint32_t error = 0;
  EXPECT_FALSE(second.Open(error));
  EXPECT_EQ(error, uint32_t{EADDRINUSE});
}

TEST_F(DosboxDriverTest, WakeIsKeptForTheNextWait) {
  EXPECT_FALSE(driver.WaitForEvent(0));
  driver.Wake();
  EXPECT_TRUE(driver.WaitForEvent(0));
  EXPECT_FALSE(driver.WaitForEvent(0));
}

}  // namespace
}  // namespace vorn
