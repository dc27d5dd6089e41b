#pragma once
// A test node (as in support/test_node.h) with a simulated driver in place of
// a game, optionally with chat windows whose "#chat" text is recorded. All
// nodes of a test report to one traffic count; ServedTrio starts three, the
// first serving the other two.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "chat/headless_chat_windows.h"
#include "ipx/simulated_driver.h"
#include "node/node.h"
#include "support/test_identity.h"
#include "support/test_node.h"

namespace vorn {

inline constexpr IpxSocket kGameSocket = {0x45, 0x60};

// What one node's "#chat" window showed.
class ChatLog : public TextLog {
 public:
  HeadlessChatWindows::Sink Sink() {
    return [this](std::string_view key, std::string_view text, uint32_t) {
      if (key == "#chat") Add(text);
    };
  }
};

// Passes everything on to the shared count, and can act on the sending
// thread right after each send. The hook runs under the lock, so once
// SetAfterSend returns no earlier hook is still running.
class HookedTraffic final : public TrafficObserver {
 public:
  explicit HookedTraffic(TrafficCounter& shared) : shared_(shared) {}
  void OnSent(PeerAddress to) override {
    shared_.OnSent(to);
    std::lock_guard lock(mutex_);
    if (after_send_) after_send_();
  }
  void OnDispatched() override { shared_.OnDispatched(); }
  void SetAfterSend(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    after_send_ = std::move(hook);
  }

 private:
  TrafficCounter& shared_;
  std::mutex mutex_;
  std::function<void()> after_send_;
};

struct GameNode {
  GameNode(const std::string& nickname, TrafficCounter& shared, bool with_chat = false)
      : nick(nickname), traffic(shared), counted(shared) {
    WriteTestIdentity(profile, nickname);
    NodeOptions options;
    options.ephemeral_port = true;
    options.driver = &driver;
    if (with_chat) options.chat_windows = &windows;
    node = std::make_unique<Node>(NodePorts{clock, loop, window, dialogs, profile, user_info}, options);
    dialogs.loop = &loop;
    if (with_chat) windows.SetOnLastClosed([this] { node->chat().LeaveChatMode(); });
    node->endpoint().SetTrafficObserver(&counted);
    clock.SetSleepHook([&shared] { shared.WaitSettled(); });
  }
  ~GameNode() {
    clock.SetSleepHook({});
    node.reset();
  }
  GameNode(GameNode&&) = delete;

  bool Start() {
    if (!node->Start()) return false;
    traffic.Watch(address());
    return true;
  }
  PeerAddress address() const { return node->LocalAddress(); }
  // One packet from the game into the ring.
  void Put(PeerAddress to, std::string_view text, IpxSocket source = kGameSocket) {
    std::span<const uint8_t> payload(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ASSERT_TRUE(driver.PutGamePacket({to, kGameSocket, source, payload}).has_value());
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

  std::string nick;
  TrafficCounter& traffic;
  HookedTraffic counted;
  SimulatedDriver driver;  // outlives the node, which drives it
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

// Three nodes on loopback, the first serving and the other two its players.
template <class N>
class ServedTrio : public ::testing::Test {
 protected:
  void SetUp() override {
    for (N& n : nodes_) ASSERT_TRUE(n.Start());
    ASSERT_TRUE(host().node->local_server().StartLocalServer());
    ASSERT_TRUE(host().node->connection().IsConnected()) << host().window.Text();
    for (N* player : {&alice(), &bob()}) {
      player->node->connection().ConnectByName(std::nullopt, FormatPeer(host().address()));
      ASSERT_TRUE(player->node->connection().IsConnected()) << player->window.Text();
    }
  }
  // The players say bye while the server still answers.
  void TearDown() override {
    for (size_t i = nodes_.size(); i-- > 0;) nodes_[i].node->Shutdown();
  }

  N& host() { return nodes_[0]; }
  N& alice() { return nodes_[1]; }
  N& bob() { return nodes_[2]; }

  TrafficCounter traffic_;  // first: outlives every endpoint that reports to it
  std::array<N, 3> nodes_{N("host", traffic_), N("alice", traffic_), N("bob", traffic_)};
};

}  // namespace vorn
