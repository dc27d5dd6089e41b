// Chat while a game runs: three nodes on loopback (one serving) in "#chat",
// one of them with a game sending 35 frames a second to the other two. Chat
// lines travel as game frames of their own socket with sequence numbers of
// their own, far below the game's; every line must still show exactly once
// in every window and every game frame must still arrive.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "chat/headless_chat_windows.h"
#include "ipx/simulated_driver.h"
#include "node/node.h"
#include "platform/text.h"
#include "support/test_identity.h"
#include "support/test_node.h"

namespace vorn {
namespace {

using namespace std::chrono_literals;

constexpr IpxSocket kGameSocket = {0x45, 0x60};
constexpr int kFramesPerSecond = 35;
constexpr int kSeconds = 3;

size_t Occurrences(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

// What one node's "#chat" window showed.
class ChatLog {
 public:
  HeadlessChatWindows::Sink Sink() {
    return [this](std::string_view key, std::string_view text, uint32_t) {
      if (key != "#chat") return;
      {
        std::lock_guard lock(mutex_);
        text_ += text;
      }
      changed_.notify_all();
    };
  }
  std::string Text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    text_.clear();
  }
  // Waits (bounded: the text comes from the receive threads) until every
  // needle has been shown.
  bool WaitForAll(const std::vector<std::string>& needles, std::chrono::milliseconds limit = 5s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
      for (const std::string& needle : needles)
        if (text_.find(needle) == std::string::npos) return false;
      return true;
    });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
};

// A test node as in support/test_node.h, with a simulated driver and chat
// windows whose text is recorded.
struct ChatGameNode {
  ChatGameNode(const std::string& nickname, TrafficCounter& shared) : nick(nickname), traffic(shared) {
    WriteTestIdentity(profile, nickname);
    NodeOptions options;
    options.ephemeral_port = true;
    options.driver = &driver;
    options.chat_windows = &windows;
    node = std::make_unique<Node>(NodePorts{clock, loop, window, dialogs, profile, user_info}, options);
    dialogs.loop = &loop;
    windows.SetOnLastClosed([this] { node->chat().LeaveChatMode(); });
    node->endpoint().SetTrafficObserver(&shared);
    clock.SetSleepHook([&shared] { shared.WaitSettled(); });
  }
  ~ChatGameNode() {
    clock.SetSleepHook({});
    node.reset();
  }
  ChatGameNode(ChatGameNode&&) = delete;

  bool Start() {
    if (!node->Start()) return false;
    traffic.Watch(address());
    return true;
  }
  PeerAddress address() const { return node->LocalAddress(); }
  void SendFrame(PeerAddress to, const std::string& text) {
    std::span<const uint8_t> payload(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ASSERT_TRUE(driver.PutGamePacket({to, kGameSocket, kGameSocket, payload}).has_value());
  }
  void Type(std::string_view line) { node->chat().ExecuteChatLine(line, windows.InputOf("#chat")); }
  // The payloads of the game frames the local game was handed, in order.
  std::vector<std::string> GameFrames() const {
    std::vector<std::string> frames;
    for (const auto& d : driver.Deliveries())
      if (d.frame.size() >= kGameFrameHeaderSize && d.frame[9] == kGameSocket[0] && d.frame[10] == kGameSocket[1])
        frames.emplace_back(d.frame.begin() + kGameFrameHeaderSize, d.frame.end());
    return frames;
  }
  // Waits (bounded) until the game frame last was handed to the game:
  // frames from one sender arrive in order, so the earlier ones are in too.
  bool WaitForGameFrame(const std::string& last, std::chrono::milliseconds limit = 5s) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const size_t seen = driver.DeliveryCount();
      const std::vector<std::string> frames = GameFrames();
      if (!frames.empty() && frames.back() == last) return true;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left <= 0ms || seen >= SimulatedDriver::kRecordedDeliveries) return false;
      driver.WaitForDeliveries(seen + 1, left);
    }
  }

  std::string nick;
  TrafficCounter& traffic;
  SimulatedDriver driver;
  ManualClock clock;
  EventLoop loop{clock, EventLoop::Idle::AdvanceClock};
  RecordingWindow window;
  ScriptedDialogs dialogs;
  ScriptedUserInfoDialog user_info;
  MemoryProfile profile;
  ChatLog log;
  HeadlessChatWindows windows{loop, log.Sink()};
  std::unique_ptr<Node> node;
};

class ChatWhileGaming : public ::testing::Test {
 protected:
  // Waits (bounded) until who's chat table holds nick.
  static bool WaitUntilKnown(ChatGameNode& who, const std::string& nick) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
      for (int i = kLocalPeer + 1; i <= kLastOtherPeer; ++i)
        if (who.node->chat().Peer(i).nickname.view() == nick) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
  void SetUp() override {
    for (ChatGameNode& n : nodes_) ASSERT_TRUE(n.Start());
    ASSERT_TRUE(host().node->local_server().StartLocalServer());
    for (ChatGameNode* player : {&alice(), &bob()}) {
      player->node->connection().ConnectByName(std::nullopt, FormatPeer(host().address()));
      ASSERT_TRUE(player->node->connection().IsConnected()) << player->window.Text();
    }
    // Each one joining becomes known to those who joined before it; their
    // acknowledgements of its greeting make them known to it. (The join
    // notice is not awaited: when an earlier user's relayed packet reaches
    // the newcomer first, the newcomer's direct acknowledgement can overtake
    // its relayed greeting and make it known without a notice.)
    for (size_t joined = 0; joined < nodes_.size(); ++joined) {
      nodes_[joined].node->chat().JoinChannel("#chat");
      for (size_t earlier = 0; earlier < joined; ++earlier)
        ASSERT_TRUE(WaitUntilKnown(nodes_[earlier], nodes_[joined].nick))
            << nodes_[earlier].nick << " saw:\n"
            << nodes_[earlier].log.Text();
      Settle();
    }
    // A line from each, in the order they joined, reaches everybody: the
    // earlier ones know the later ones, and each line makes its sender
    // known to whoever did not know it yet.
    for (ChatGameNode& from : nodes_) {
      from.Type("hello from " + from.nick);
      for (ChatGameNode& n : nodes_)
        ASSERT_TRUE(n.log.WaitForAll({"hello from " + from.nick + "\r\n"})) << n.nick << " saw:\n" << n.log.Text();
    }
    for (ChatGameNode& n : nodes_) n.log.Clear();
  }
  // The players say bye while the server still answers.
  void TearDown() override {
    for (size_t i = nodes_.size(); i-- > 0;) nodes_[i].node->Shutdown();
  }
  // Every frame put into a ring has been sent and the traffic has come to
  // rest (as far as the shared count can tell), and the work posted to the
  // nodes' loops has run.
  void Settle() {
    for (ChatGameNode& n : nodes_) n.driver.WaitUntilIdle(5s);
    traffic_.WaitSettled(5s);
    for (ChatGameNode& n : nodes_) n.loop.RunReady();
  }
  // Time passes alike on every node; their timers (the chat's
  // retransmission, the server's pings) run when due.
  void Advance(int32_t ms) {
    Settle();
    for (ChatGameNode& n : nodes_) n.clock.Advance(ms);
    for (ChatGameNode& n : nodes_) n.loop.RunReady();
  }

  ChatGameNode& host() { return nodes_[0]; }
  ChatGameNode& alice() { return nodes_[1]; }
  ChatGameNode& bob() { return nodes_[2]; }

  TrafficCounter traffic_;  // first: outlives every endpoint that reports to it
  std::array<ChatGameNode, 3> nodes_{ChatGameNode("host", traffic_), ChatGameNode("alice", traffic_),
                                     ChatGameNode("bob", traffic_)};
};

TEST_F(ChatWhileGaming, EveryLineShowsOnceEverywhereAndNoGameFrameIsLost) {
  std::vector<std::string> lines, frames;
  const int steps = kFramesPerSecond * kSeconds;
  for (int step = 0; step < steps; ++step) {
    const std::string frame = Format("frame %03d", step);
    frames.push_back(frame);
    alice().SendFrame(bob().address(), frame);
    alice().SendFrame(host().address(), frame);
    // Typed while the frames are on their way.
    if (step % 7 == 3) lines.push_back(Format("alice line %02d", step / 7));
    if (step % 7 == 3) alice().Type(lines.back());
    if (step % 10 == 5) lines.push_back(Format("bob line %02d", step / 10));
    if (step % 10 == 5) bob().Type(lines.back());
    Advance((step + 1) * 1000 / kFramesPerSecond - step * 1000 / kFramesPerSecond);
  }
  std::vector<std::string> shown_lines;
  for (const std::string& line : lines) shown_lines.push_back(line + "\r\n");
  for (ChatGameNode* receiver : {&host(), &bob()}) {
    EXPECT_TRUE(receiver->WaitForGameFrame(frames.back())) << receiver->nick;
    // The driver keeps the first deliveries only; all of them must be kept.
    ASSERT_LT(receiver->driver.DeliveryCount(), SimulatedDriver::kRecordedDeliveries);
    EXPECT_EQ(receiver->GameFrames(), frames) << receiver->nick;
  }
  for (ChatGameNode& n : nodes_) EXPECT_TRUE(n.log.WaitForAll(shown_lines)) << n.nick << " saw:\n" << n.log.Text();
  Settle();  // a copy too many would show now
  for (ChatGameNode& n : nodes_) {
    const std::string shown = n.log.Text();
    for (const std::string& line : shown_lines) EXPECT_EQ(Occurrences(shown, line), 1u) << n.nick << ": " << line;
  }
}

}  // namespace
}  // namespace vorn
