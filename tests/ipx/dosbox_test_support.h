#pragma once
// DOSBox's end of the IPX tunnel for the driver tests: hand-laid IPX packets,
// a plain socket on 127.0.0.1, and a fixture with an opened, linked driver.
#include <gtest/gtest.h>

#include <vector>

#include "ipx/dosbox_driver.h"
#include "ipx/packet_ring.h"
#include "net/messages.h"
#include "platform/udp_socket.h"
#include "support/test_node.h"

namespace vorn::dosbox_test {

using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t kLoopback = 0x7F000001;
inline constexpr PeerAddress kOwn{0x01020304, 2213};  // node numbers only: nothing is sent to these
inline constexpr PeerAddress kPeer{0x0A000002, 2214};
inline constexpr uint16_t kDoom = 0x869C;

inline const Bytes kRegistrationRequest = {
    0xFF, 0xFF, 0x00, 0x1E, 0x00, 0x00,                           // no checksum, length 30, control, type
    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0x00, 0x02,   // destination network, node 0, socket 2
    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0x00, 0x02};  // source network, node, socket 2
inline const Bytes kBroadcastNode = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline const Bytes kPeerNode = {0x0A, 0x00, 0x00, 0x02, 0x08, 0xA6};  // 10.0.0.2:2214

// An IPX packet as DOSBox sends it, from node 1.2.3.4:2213, laid out by hand.
inline Bytes IpxBytes(const Bytes& node, uint16_t destination_socket, uint16_t source_socket, const Bytes& data) {
  const size_t length = 30 + data.size();
  Bytes out = {0xFF, 0xFF, uint8_t(length >> 8), uint8_t(length), 0x00, 0x04, 0, 0, 0, 0};
  out.insert(out.end(), node.begin(), node.end());
  out.insert(out.end(), {uint8_t(destination_socket >> 8), uint8_t(destination_socket)});
  out.insert(out.end(), {0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0x08, 0xA5});
  out.insert(out.end(), {uint8_t(source_socket >> 8), uint8_t(source_socket)});
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

inline Bytes GamePacket(const Bytes& node, const Bytes& data, uint16_t socket = kDoom) {
  return IpxBytes(node, socket, socket, data);
}

class FakeDosbox {
 public:
  FakeDosbox() { EXPECT_TRUE(socket_.Open() && socket_.Bind(kLoopback, 0) && socket_.SetNonBlocking()); }
  PeerAddress Address() const { return {kLoopback, socket_.LocalPort()}; }
  void Send(PeerAddress to, const Bytes& data) const { socket_.SendTo(to, data); }
  // The next datagram, or nothing after a bounded wait.
  Bytes Receive() const {
    if (WaitReadable(socket_, wake_, 5000) != WaitResult::Readable) return {};
    std::array<uint8_t, 2048> buffer{};
    PeerAddress from;
    bool truncated = false;
    const int got = socket_.RecvFrom(buffer, from, truncated);
    return got > 0 ? Bytes(buffer.begin(), buffer.begin() + got) : Bytes{};
  }
  Bytes Connect(PeerAddress driver) const {
    Send(driver, kRegistrationRequest);
    return Receive();
  }

 private:
  UdpSocket socket_;
  WakeSignal wake_;
};

class DosboxFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    uint32_t error = 0;
    ASSERT_TRUE(driver.Open(error));
    Link(kOwn);
    Settle(dosbox);
  }
  void Link(PeerAddress own) {
    std::span<uint8_t> memory;
    ASSERT_TRUE(driver.Register(LinkInfo{own}, memory));
    ring = PacketRing(memory);
    ring.WriteFrameHeaders();
  }
  PeerAddress Port() const { return {kLoopback, driver.BoundPort()}; }
  // The driver reads one socket in order: once a registration is answered,
  // everything the client sent before has been handled.
  void Settle(const FakeDosbox& client) const { ASSERT_EQ(client.Connect(Port()).size(), 30u); }
  // Read as the program does: only after the hand-over word says filled.
  GameFrame SlotFrame(size_t index) const {
    EXPECT_TRUE(ring.slot(index).IsFilled());
    return ParseGameFrame(ring.slot(index).Frame()).value();
  }
  Bytes Payload(size_t index) const {
    std::span<const uint8_t> payload = SlotFrame(index).payload;
    return {payload.begin(), payload.end()};
  }

  RecordingWindow window;
  DosboxDriver driver{window, 0};
  PacketRing ring;
  FakeDosbox dosbox;
};

}  // namespace vorn::dosbox_test
