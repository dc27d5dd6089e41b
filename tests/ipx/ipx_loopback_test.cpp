// The IPX bridge over a real UDP endpoint on 127.0.0.1: game packets from
// the ring reach a peer's socket, and frames from the peer reach the driver.
#include <gtest/gtest.h>

#include <string>

#include "ipx/forwarding.h"
#include "ipx/ipx_test_support.h"
#include "net/udp_endpoint.h"
#include "platform/udp_socket.h"

namespace vorn {
namespace {

using namespace ipx_test;

struct LoopbackNode {
  LoopbackNode()
      : endpoint(clock, dialogs, window, addresses, dispatcher),
        link({driver, dialogs, window, profile, addresses}, [this](PacketSlot slot) { forwarder.ForwardDriverPacket(slot); }),
        forwarder(link, clock, addresses, [this](PeerAddress to, std::span<const uint8_t> datagram) {
          return endpoint.SendPacket(to, datagram);
        }) {
    dispatcher.SetHandler(kTypeGameFrame, [this](std::span<const uint8_t> frame, PeerAddress source) {
      forwarder.OnGameFrame(frame, source);
    });
  }
  ~LoopbackNode() {
    link.CloseDriverLink();
    endpoint.CloseUdpEndpoint();
  }

  SteadyClock clock;
  RecordingDialogs dialogs;
  RecordingWindow window;
  MemoryProfile profile;
  SharedAddresses addresses;
  Dispatcher dispatcher;
  SimulatedDriver driver;
  UdpEndpoint endpoint;
  DriverLink link;
  GameForwarder forwarder;
};

// Receives one datagram on socket, waiting at most a few seconds.
std::vector<uint8_t> ReceiveOne(const UdpSocket& socket, PeerAddress& from) {
  WakeSignal never;
  std::array<uint8_t, kMaxDatagram> buffer{};
  bool truncated = false;
  if (WaitReadable(socket, never, 5000) != WaitResult::Readable) return {};
  int got = socket.RecvFrom(buffer, from, truncated);
  if (got <= 0) return {};
  return {buffer.begin(), buffer.begin() + got};
}

TEST(IpxLoopbackTest, GamePacketsTravelBetweenTheRingAndThePeers) {
  LoopbackNode node;
  ASSERT_TRUE(node.endpoint.OpenUdpEndpoint({0, "127.0.0.1"}));
  ASSERT_TRUE(node.endpoint.StartReceiveThread());
  ASSERT_TRUE(node.link.OpenDriverLink());
  UdpSocket peer;
  ASSERT_TRUE(peer.Open() && peer.Bind(kLoopback, 0));
  const PeerAddress peer_address{kLoopback, peer.LocalPort()};
  node.addresses.server.Store(peer_address);  // the peer is the server as well

  const std::vector<uint8_t> payload = {'p', 'i', 'n', 'g'};
  ASSERT_TRUE(node.driver.PutGamePacket({peer_address, {0x45, 0x00}, {0x45, 0x01}, payload}));
  PeerAddress from;
  std::vector<uint8_t> directed = ReceiveOne(peer, from);
  EXPECT_EQ(from, node.addresses.local.Load());
  EXPECT_EQ(std::string(directed.begin(), directed.end()), std::string("VORN0\x01\0\0\0\x45\x00\x45\x01ping", 17));

  ASSERT_TRUE(node.driver.PutGamePacket({{kBroadcastDestination, 0xFFFF}, {0x45, 0x00}, {0x45, 0x01}, payload}));
  std::vector<uint8_t> broadcast = ReceiveOne(peer, from);
  ASSERT_EQ(broadcast.size(), 17u);
  EXPECT_EQ(broadcast[kTypeOffset], kTypeBroadcastFrame);

  const std::vector<uint8_t> inbound = FrameBytes(9, {0x45, 0x01}, {'p', 'o', 'n', 'g'});
  ASSERT_EQ(peer.SendTo(node.addresses.local.Load(), inbound), static_cast<int>(inbound.size()));
  ASSERT_TRUE(node.driver.WaitForDeliveries(1, kWait));
  EXPECT_EQ(node.driver.Deliveries()[0].sender, peer_address);
  EXPECT_EQ(node.driver.Deliveries()[0].frame, inbound);
}

}  // namespace
}  // namespace vorn
