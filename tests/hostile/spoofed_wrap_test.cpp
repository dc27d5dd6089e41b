// A "VORNP" wrap names the sender inside it: wraps from a stranger, nested too
// deep, or broken must be dropped and leave the node as it was. A server
// takes a wrap from another proxy only for a player who greeted through it.
#include <gtest/gtest.h>

#include "connection/client_fixture.h"
#include "hostile/hostile_support.h"
#include "support/server_harness.h"

namespace vorn {
namespace {

using hostile::Capture;
using hostile::ChatFrame;
using hostile::ExpectUnchanged;
using hostile::kClaimedAddress;
using hostile::NodeState;
using hostile::ServerListDatagram;
using hostile::WellFormed;
using hostile::Wrapped;

constexpr PeerAddress kOtherClaimed{0x7F00000A, 4445};

class SpoofedWraps : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    if (HasFatalFailure()) return;
    addresses().server.Store(server.address());
    client.node->chat().JoinChannel("#chat");
    Settle();
  }
  void Send(FakePeer& from, const Bytes& datagram) { from.Send(client.bound(), datagram); }
  // Everything the attacker can make a node do: answer the server's ping,
  // admit a player, merge a server list, learn a chat user, print a text.
  std::vector<Bytes> Payloads() const {
    return {PingRequestDatagram(99), WellFormed(kTypeHello), ServerListDatagram("Forged         |127.0.0.77\r\n"),
            ChatFrame(kTypeGameFrame, ChatSubtype::Text, "forger", "trust me"), TextDatagram(kTypeTextLine, "forged")};
  }
  size_t PingRepliesAtServer() const { return server.ReceivedOfType(kTypePingReply).size(); }

  FakePeer server{traffic};
  FakePeer proxy{traffic};
  FakePeer stranger{traffic};
};

TEST_F(SpoofedWraps, AStrangerCannotSpeakForTheServerOrAnyoneElse) {
  const NodeState before = Capture(client);
  for (const Bytes& payload : Payloads()) {
    Send(stranger, Wrapped(server.address(), payload));  // posing as the server
    Send(stranger, Wrapped(kClaimedAddress, payload));   // posing as a player
    Send(stranger, Wrapped(client.bound(), payload));    // posing as the node itself
    Send(stranger, Wrapped(server.address(), Wrapped(kClaimedAddress, payload)));
  }
  Settle();
  ExpectUnchanged(before, Capture(client));
  EXPECT_EQ(PingRepliesAtServer(), 0u);
  EXPECT_TRUE(stranger.Received().empty());

  // The same wraps from the server itself are relays and are believed.
  Send(server, Wrapped(kClaimedAddress, ChatFrame(kTypeGameFrame, ChatSubtype::Text, "relayed", "hello")));
  Send(server, PingRequestDatagram(7));
  Settle();
  EXPECT_EQ(PingRepliesAtServer(), 1u);
  EXPECT_EQ(client.node->chat().Peer(1).address, kClaimedAddress);
  EXPECT_EQ(client.node->chat().Peer(1).nickname.view(), "relayed");
}

TEST_F(SpoofedWraps, TrustedSendersCannotNestDeeperThanARelayThroughTheProxy) {
  addresses().proxy.Store(proxy.address());
  const NodeState before = Capture(client);
  const size_t server_before = server.Received().size();
  for (const Bytes& payload : Payloads()) {
    // Only the proxy's wrap of the server's relay is unwrapped twice.
    Send(server, Wrapped(kClaimedAddress, Wrapped(kOtherClaimed, payload)));
    Send(proxy, Wrapped(kClaimedAddress, Wrapped(kOtherClaimed, payload)));
    Send(proxy, Wrapped(server.address(), Wrapped(server.address(), Wrapped(kClaimedAddress, payload))));
  }
  // Wraps too short to hold a frame, and wraps of something that is no frame.
  const Bytes ping = Wrapped(server.address(), PingRequestDatagram(5));
  for (size_t size = 0; size < kMinWrapSize; ++size) Send(proxy, hostile::Truncated(ping, size));
  Bytes foreign = ping;
  foreign[kWrapHeaderSize] = 'X';
  Send(proxy, foreign);
  Send(proxy, Wrapped(server.address(), Bytes{'V', 'O', 'R', 'N'}));
  Settle();
  ExpectUnchanged(before, Capture(client));
  EXPECT_TRUE(proxy.Received().empty());
  EXPECT_EQ(server.Received().size(), server_before);  // the node's own chat greeting went there

  // The one nesting that a relay behind a proxy needs still works.
  Send(proxy, Wrapped(server.address(),
                      Wrapped(kClaimedAddress, ChatFrame(kTypeGameFrame, ChatSubtype::Text, "behindproxy", "hi"))));
  Settle();
  EXPECT_EQ(client.node->chat().Peer(1).address, kClaimedAddress);
  EXPECT_EQ(client.node->chat().Peer(1).nickname.view(), "behindproxy");
}

// Any proxy that wraps what its players send works, each for its own
// players: the server keys a wrap to the way the named player greeted.
TEST(ProxiedPlayers, AWrapCountsOnlyFromTheProxyThePlayerGreetedThrough) {
  ServerHarness h;
  ASSERT_TRUE(h.started);
  ASSERT_TRUE(h.server.StartLocalServer());
  FakeClient direct, proxy, other_proxy;
  ASSERT_EQ(h.Greet(direct, "direct"), kTypeAccepted);
  const Bytes hello = WellFormed(kTypeHello), bye = WellFormed(kTypeBye);
  proxy.Send(h.address(), Wrapped(kClaimedAddress, hello));
  ASSERT_TRUE(direct.Sync(h.address()));
  ASSERT_EQ(h.Entry(1).address, kClaimedAddress);

  for (const Bytes* forged : {&bye, &hello}) {
    other_proxy.Send(h.address(), Wrapped(kClaimedAddress, *forged));  // not its player
    proxy.Send(h.address(), Wrapped(direct.address(), *forged));       // a player who came directly
  }
  ASSERT_TRUE(direct.Sync(h.address()));
  EXPECT_EQ(h.Entry(0).address, direct.address());
  EXPECT_EQ(h.Entry(1).via, proxy.address());
  EXPECT_TRUE(other_proxy.Receive(std::chrono::milliseconds(0)).empty());

  // Its own proxy speaks for it: the broadcast is relayed, the bye taken.
  proxy.Send(h.address(), Wrapped(kClaimedAddress, WellFormed(kTypeBroadcastFrame)));
  std::optional<std::vector<Bytes>> relayed = direct.Sync(h.address());
  ASSERT_TRUE(relayed && relayed->size() == 1u);
  EXPECT_EQ(ParseProxyWrap(relayed->front())->address, kClaimedAddress);
  proxy.Send(h.address(), Wrapped(kClaimedAddress, bye));
  ASSERT_TRUE(direct.Sync(h.address()));
  EXPECT_FALSE(h.Entry(1).InUse());
  EXPECT_EQ(h.Entry(0).Nickname(), "direct");
}

}  // namespace
}  // namespace vorn
