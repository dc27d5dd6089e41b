#include "node/node.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "connection/client_fixture.h"
#include "net/messages.h"
#include "node/game_node.h"
#include "support/test_node.h"

namespace vorn {
namespace {

// Collects "text from address" of what reaches one node's "w" handler.
struct TextInbox {
  void Attach(Node& node) {
    node.dispatcher().SetHandler(kTypeTextLine, [this](std::span<const uint8_t> datagram, PeerAddress source) {
      auto message = ParseText(datagram);
      std::lock_guard lock(mutex);
      received.push_back(std::string(message ? message->text : "") + " from " + FormatPeer(source));
      arrived.notify_all();
    });
  }
  std::vector<std::string> WaitForSorted(size_t count) {
    std::unique_lock lock(mutex);
    arrived.wait_for(lock, std::chrono::seconds(5), [&] { return received.size() >= count; });
    std::ranges::sort(received);
    return received;
  }
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::string> received;
};

TEST(Node, ThreeNodesInOneProcessTalkOverLoopback) {
  const std::array<std::string, 3> names = {"alice", "bob", "carol"};
  std::array<TestNode, 3> nodes{TestNode(names[0]), TestNode(names[1]), TestNode(names[2])};
  std::array<TextInbox, 3> inboxes;
  for (size_t i = 0; i < nodes.size(); ++i) {
    inboxes[i].Attach(*nodes[i].node);
    ASSERT_TRUE(nodes[i].node->Start());
    EXPECT_EQ(nodes[i].address().ip, 0x7F000001u);
  }
  for (size_t to = 0; to < nodes.size(); ++to) {
    std::vector<std::string> expected;
    for (size_t from = 0; from < nodes.size(); ++from) {
      if (from == to) continue;
      std::array<uint8_t, 64> buffer{};
      const size_t size = BuildText(buffer, {kTypeTextLine, names[from]});
      ASSERT_GT(nodes[from].node->endpoint().SendPacket(nodes[to].address(), std::span(buffer).first(size)), 0);
      expected.push_back(names[from] + " from " + FormatPeer(nodes[from].address()));
    }
    EXPECT_EQ(inboxes[to].WaitForSorted(expected.size()), expected);
  }
  for (TestNode& n : nodes) n.node->Shutdown();
}

TEST(Node, RefusedFirstRunStopsTheStart) {
  TestNode blank("x");
  blank.profile.DeleteSection("User Info");
  blank.user_info.steps.push_back(ScriptedUserInfoDialog::Cancel());
  EXPECT_FALSE(blank.node->Start());
  EXPECT_FALSE(blank.node->endpoint().IsOpen());
  ASSERT_FALSE(blank.dialogs.shown.empty());
  EXPECT_EQ(blank.dialogs.shown.back().text, "Vorn cannot run without the required information.");
}

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
