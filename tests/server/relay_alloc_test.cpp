// The relay runs on the receive thread for every broadcast of every player:
// reading the datagram, framing it, relaying it and handing the server's own
// player its copy must not allocate. The counting allocation functions live
// in tests/ipx/forwarding_alloc_test.cpp, since a binary has only one set;
// they count on the threads that ask.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <string>

#include "server/local_server.h"
#include "support/server_harness.h"

namespace vorn::allocation_count {
void CountOnThisThread(bool on);
size_t Total();
}  // namespace vorn::allocation_count

namespace vorn {
namespace {

constexpr int kFrames = 120;
constexpr IpxSocket kGameSocket = {0x45, 0x67};
constexpr IpxSocket kNoEchoSocket = {0x68, 0x46};

// A server endpoint whose receive thread counts its allocations from the
// first broadcast until a message-of-the-day request, and which records the
// relayed copies that reach its own player.
struct RelayRig {
  std::atomic<int> own_copies{0};
  ServerHarness harness{[this](ServerHarness& h) {
    h.dispatcher.SetHandler(kTypeBroadcastFrame, [&h](std::span<const uint8_t> datagram, PeerAddress sender) {
      allocation_count::CountOnThisThread(true);
      h.server.OnBroadcastFrame(datagram, sender);
    });
    h.dispatcher.SetHandler(kTypeMotdRequest, [&h](std::span<const uint8_t> datagram, PeerAddress sender) {
      allocation_count::CountOnThisThread(false);
      h.server.OnMotdRequest(datagram, sender);
    });
    h.dispatcher.SetHandler(kTypeGameFrame, [this](std::span<const uint8_t>, PeerAddress) { ++own_copies; });
  }};
};

TEST(RelayAllocation, RelayingToEveryPlayerAndTheOwnOneDoesNotAllocate) {
  RelayRig relay;
  ServerHarness& rig = relay.harness;
  ASSERT_TRUE(rig.started);
  // The server's own player, as in local server mode: it greets its own
  // address and takes that address for its server's.
  rig.addresses.server.Store(rig.address());
  std::array<uint8_t, kHelloSize> hello{};
  const HelloRecord own{"host", "host@example.org", "Host", "", kProtocolVersion};
  rig.endpoint.SendPacket(rig.address(), std::span(hello).first(BuildHello(hello, own)));
  std::array<FakeClient, 3> players;
  for (size_t i = 0; i < players.size(); ++i) {
    players[i].SendHello(rig.address(), "p" + std::to_string(i));
    ASSERT_EQ(players[i].ReceiveType(), kTypeAccepted);
  }
  ASSERT_EQ(rig.server.table().Snapshot()[0].address, rig.address());

  const size_t before = allocation_count::Total();
  std::array<uint8_t, 700> frame{};
  std::array<uint8_t, 600> payload{};
  for (int i = 0; i < kFrames; ++i) {
    const bool no_echo = i % 4 == 3;
    const size_t payload_size = static_cast<size_t>(i * 5) % payload.size();
    const size_t size =
        BuildGameFrame(frame, {kTypeBroadcastFrame, i, kGameSocket, no_echo ? kNoEchoSocket : kGameSocket,
                               std::span<const uint8_t>(payload).first(payload_size)});
    players[0].Send(rig.address(), std::span(frame).first(size));
    for (size_t p = no_echo ? 1 : 0; p < players.size(); ++p) ASSERT_EQ(players[p].Receive().size(), size + 11);
  }
  ASSERT_TRUE(players[0].Sync(rig.address()).has_value());

  EXPECT_EQ(allocation_count::Total() - before, 0u);
  EXPECT_EQ(relay.own_copies.load(), kFrames);
}

}  // namespace
}  // namespace vorn
