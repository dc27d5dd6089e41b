#include "node/node.h"

#include <gtest/gtest.h>

#include "connection/client_fixture.h"
#include "net/messages.h"
#include "node/game_node.h"
#include "support/test_node.h"

namespace vorn {
namespace {

// Nodes talking over loopback are three_nodes_test's; a refused first run
// is the program's (app tests).
TEST(Node, TakesProxyAndTrackerFromTheSettings) {
  TestNode n("dave");
  n.profile.WriteString("Misc", "Proxy", "127.0.0.9:4000");
  n.profile.WriteString("Misc", "Tracker", "127.0.0.8");
  ASSERT_TRUE(n.node->Start());
  EXPECT_EQ(n.node->addresses().proxy.Load(), (PeerAddress{0x7F000009, 4000}));
  EXPECT_EQ(n.node->addresses().tracker.Load(), (PeerAddress{0x7F000008, 6666}));
  EXPECT_FALSE(n.node->addresses().server.Load().IsSet());
}

// Only the connected server is answered a ping. The game named in the reply
// and the one shown in the own player list entry come from one question to
// the driver.
TEST(Node, AnswersOnlyItsServersPingWithOneQuestionToTheDriver) {
  TrafficCounter traffic;
  GameNode n("erin", traffic);
  n.driver.SetRunningGame({0x86, 0x9C}, "DOOM");
  ASSERT_TRUE(n.Start());
  FakePeer server(traffic, Answer({{kTypeHello, Frame(kTypeAccepted)}}));
  FakePeer stranger(traffic);
  stranger.Send(n.address(), PingRequestDatagram(7));  // not connected yet
  ASSERT_TRUE(n.node->connection().ConnectToServer(EntryFor("Fake", server.address())));
  const size_t before = n.driver.QueryCount();
  stranger.Send(n.address(), PingRequestDatagram(8));
  server.Send(n.address(), PingRequestDatagram(0x12345678));
  ASSERT_TRUE(traffic.WaitSettled());
  EXPECT_TRUE(stranger.ReceivedOfType(kTypePingReply).empty());
  const auto replies = server.ReceivedOfType(kTypePingReply);
  ASSERT_EQ(replies.size(), 1u);
  ASSERT_EQ(replies[0].size(), kPingSize);
  const auto reply = ParsePingReply(replies[0]);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->game_name, "DOOM");
  EXPECT_EQ(reply->time_stamp_ms, 0x12345678u);
  EXPECT_EQ(reply->game_socket, (IpxSocket{0x86, 0x9C}));
  EXPECT_EQ(n.driver.QueryCount() - before, 1u);
}

}  // namespace
}  // namespace vorn
