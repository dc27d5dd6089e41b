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

// The game named in the reply and the one shown in the own player list entry
// come from one question to the driver.
TEST(Node, AnswersAPingWithOneQuestionToTheDriver) {
  TrafficCounter traffic;
  GameNode n("erin", traffic);
  n.driver.SetRunningGame({0x86, 0x9C}, "DOOM");
  ASSERT_TRUE(n.Start());
  FakePeer server(traffic, Answer({{kTypeHello, Frame(kTypeAccepted)}}));
  ASSERT_TRUE(n.node->connection().ConnectToServer(EntryFor("Fake", server.address())));
  const size_t before = n.driver.QueryCount();
  server.Send(n.address(), PingRequestDatagram(5));
  ASSERT_TRUE(traffic.WaitSettled());
  ASSERT_EQ(server.ReceivedOfType(kTypePingReply).size(), 1u);
  EXPECT_EQ(ParsePingReply(server.ReceivedOfType(kTypePingReply)[0])->game_name, "DOOM");
  EXPECT_EQ(n.driver.QueryCount() - before, 1u);
}

}  // namespace
}  // namespace vorn
