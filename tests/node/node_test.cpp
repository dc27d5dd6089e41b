#include "node/node.h"

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "net/messages.h"
#include "support/test_node.h"

namespace vorn {
namespace {

// Collects the texts that reach one node's "w" handler.
struct TextInbox {
  void Attach(Node& node) {
    node.dispatcher().SetHandler(kTypeTextLine, [this](std::span<const uint8_t> datagram, PeerAddress source) {
      auto message = ParseText(datagram);
      std::lock_guard lock(mutex);
      received.push_back({std::string(message ? message->text : ""), source});
      arrived.notify_all();
    });
  }
  bool WaitForCount(size_t count) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::seconds(5), [&] { return received.size() >= count; });
  }
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::pair<std::string, PeerAddress>> received;
};

void SendText(Node& from, PeerAddress to, std::string_view text) {
  std::array<uint8_t, 64> buffer{};
  size_t size = BuildText(buffer, {kTypeTextLine, text});
  ASSERT_GT(from.endpoint().SendPacket(to, std::span(buffer).first(size)), 0);
}

TEST(Node, ThreeNodesInOneProcessTalkOverLoopback) {
  std::array<TestNode, 3> nodes{TestNode("alice"), TestNode("bob"), TestNode("carol")};
  std::array<TextInbox, 3> inboxes;
  for (size_t i = 0; i < nodes.size(); ++i) {
    inboxes[i].Attach(*nodes[i].node);
    ASSERT_TRUE(nodes[i].node->Start());
    EXPECT_EQ(nodes[i].address().ip, 0x7F000001u);
  }
  for (size_t from = 0; from < nodes.size(); ++from)
    for (size_t to = 0; to < nodes.size(); ++to)
      if (from != to) SendText(*nodes[from].node, nodes[to].address(), nodes[from].profile.GetString("User Info", "NickName", ""));

  for (size_t i = 0; i < nodes.size(); ++i) {
    ASSERT_TRUE(inboxes[i].WaitForCount(2));
    std::lock_guard lock(inboxes[i].mutex);
    for (const auto& [text, source] : inboxes[i].received) {
      bool from_a_peer = false;
      for (size_t j = 0; j < nodes.size(); ++j)
        if (j != i && source == nodes[j].address() && text == nodes[j].profile.GetString("User Info", "NickName", ""))
          from_a_peer = true;
      EXPECT_TRUE(from_a_peer) << text;
    }
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

}  // namespace
}  // namespace vorn
