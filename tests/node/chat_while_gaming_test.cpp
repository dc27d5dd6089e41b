// Chat while a game runs: three nodes on loopback (one serving) in "#chat",
// one of them with a game sending 35 frames a second to the other two. Chat
// lines travel as game frames of their own socket with sequence numbers of
// their own, far below the game's; every line must still show exactly once
// in every window and every game frame must still arrive.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "chat/chat_test_support.h"
#include "node/game_node.h"
#include "platform/text.h"

namespace vorn {
namespace {

using namespace std::chrono_literals;

constexpr int kFramesPerSecond = 35;
constexpr int kSeconds = 3;

// Waits (bounded) until the game frame last was handed to the game: frames
// from one sender arrive in order, so the earlier ones are in too.
bool WaitForGameFrame(const GameNode& n, const std::string& last) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  for (;;) {
    const size_t seen = n.driver.DeliveryCount();
    const std::vector<std::string> frames = n.GameFrames();
    if (!frames.empty() && frames.back() == last) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= 0ms || seen >= SimulatedDriver::kRecordedDeliveries) return false;
    n.driver.WaitForDeliveries(seen + 1, left);
  }
}

// Waits (bounded) until who's chat table holds nick.
bool WaitUntilKnown(GameNode& who, const std::string& nick) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    for (int i = kLocalPeer + 1; i <= kLastOtherPeer; ++i)
      if (who.node->chat().Peer(i).nickname.view() == nick) return true;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

// A game node with chat windows.
struct ChattingNode : GameNode {
  ChattingNode(const std::string& nickname, TrafficCounter& shared) : GameNode(nickname, shared, true) {}
};

class ChatWhileGaming : public ServedTrio<ChattingNode> {
 protected:
  void SetUp() override {
    ServedTrio::SetUp();
    if (HasFatalFailure()) return;
    // Each one joining becomes known to those who joined before (not by the
    // join notice: a direct acknowledgement may overtake the relayed greeting).
    for (size_t joined = 0; joined < nodes_.size(); ++joined) {
      nodes_[joined].node->chat().JoinChannel("#chat");
      for (size_t earlier = 0; earlier < joined; ++earlier)
        ASSERT_TRUE(WaitUntilKnown(nodes_[earlier], nodes_[joined].nick)) << nodes_[earlier].log.Text();
      Settle();
    }
    // A line from each, in joining order, makes everybody known to everybody.
    for (GameNode& from : nodes_) {
      from.Type("hello from " + from.nick);
      for (GameNode& n : nodes_)
        ASSERT_TRUE(n.log.WaitForAll({"hello from " + from.nick + "\r\n"})) << n.nick << " saw:\n" << n.log.Text();
    }
    for (GameNode& n : nodes_) n.log.Clear();
  }
  // The rings are sent, the traffic has come to rest and posted work has run.
  void Settle() {
    for (GameNode& n : nodes_) n.driver.WaitUntilIdle(5s);
    traffic_.WaitSettled(5s);
    for (GameNode& n : nodes_) n.loop.RunReady();
  }
  // Time passes alike on every node; their timers run when due.
  void Advance(int32_t ms) {
    Settle();
    for (GameNode& n : nodes_) n.clock.Advance(ms);
    for (GameNode& n : nodes_) n.loop.RunReady();
  }
};

TEST_F(ChatWhileGaming, EveryLineShowsOnceEverywhereAndNoGameFrameIsLost) {
  std::vector<std::string> lines, frames;
  for (int step = 0; step < kFramesPerSecond * kSeconds; ++step) {
    frames.push_back(Format("frame %03d", step));
    alice().Put(bob().address(), frames.back());
    alice().Put(host().address(), frames.back());
    // Typed while the frames are on their way.
    if (step % 7 == 3) lines.push_back(Format("alice line %02d", step / 7));
    if (step % 7 == 3) alice().Type(lines.back());
    if (step % 10 == 5) lines.push_back(Format("bob line %02d", step / 10));
    if (step % 10 == 5) bob().Type(lines.back());
    Advance((step + 1) * 1000 / kFramesPerSecond - step * 1000 / kFramesPerSecond);
  }
  std::vector<std::string> shown_lines;
  for (const std::string& line : lines) shown_lines.push_back(line + "\r\n");
  for (GameNode* receiver : {&host(), &bob()}) {
    EXPECT_TRUE(WaitForGameFrame(*receiver, frames.back())) << receiver->nick;
    // The driver keeps the first deliveries only; all of them must be kept.
    ASSERT_LT(receiver->driver.DeliveryCount(), SimulatedDriver::kRecordedDeliveries);
    EXPECT_EQ(receiver->GameFrames(), frames) << receiver->nick;
  }
  for (GameNode& n : nodes_) EXPECT_TRUE(n.log.WaitForAll(shown_lines)) << n.nick << " saw:\n" << n.log.Text();
  Settle();  // a copy too many would show now
  for (GameNode& n : nodes_)
    for (const std::string& line : shown_lines) EXPECT_EQ(CountOf(n.log.Text(), line), 1u) << n.nick << ": " << line;
}

}  // namespace
}  // namespace vorn
