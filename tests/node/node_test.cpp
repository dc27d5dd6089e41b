#include "node/node.h"

#include <gtest/gtest.h>

#include "connection/client_fixture.h"
#include "net/messages.h"
#include "node/game_node.h"
#include "support/test_node.h"

namespace vorn {
namespace {

// A stranger's ping goes unanswered (SpoofedWraps). The game named in the
// reply and the one shown in the own player list entry come from one
// question to the driver.
TEST(Node, AnswersItsServersPingWithOneQuestionToTheDriver) {
  TrafficCounter traffic;
  GameNode n("erin", traffic);
  n.driver.SetRunningGame({0x86, 0x9C}, "DOOM");
  ASSERT_TRUE(n.Start());
  FakePeer server(traffic, Answer({{kTypeHello, Frame(kTypeAccepted)}}));
  ASSERT_TRUE(n.node->connection().ConnectToServer(EntryFor("Fake", server.address())));
  const size_t before = n.driver.QueryCount();
  server.Send(n.address(), PingRequestDatagram(0x12345678));
  ASSERT_TRUE(traffic.WaitSettled());
  const auto replies = server.ReceivedOfType(kTypePingReply);
  ASSERT_EQ(replies.size(), 1u);
  const auto reply = ParsePingReply(replies[0]);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->game_name, "DOOM");
  EXPECT_EQ(reply->time_stamp_ms, 0x12345678u);
  EXPECT_EQ(reply->game_socket, (IpxSocket{0x86, 0x9C}));
  EXPECT_EQ(n.driver.QueryCount() - before, 1u);
}

}  // namespace
}  // namespace vorn
