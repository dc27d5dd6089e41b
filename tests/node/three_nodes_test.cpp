// Three nodes in one process on loopback, one of them serving, each with a
// simulated driver in place of a game: directed game frames travel straight
// between the players, broadcasts go through the server, and each frame
// reaches every player it is meant for exactly once.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ipx/simulated_driver.h"
#include "node/node.h"
#include "platform/text.h"
#include "support/test_identity.h"
#include "support/test_node.h"

namespace vorn {
namespace {

using namespace std::chrono_literals;

constexpr IpxSocket kGameSocket = {0x45, 0x60};
// The server never echoes a broadcast from this source socket to its sender.
constexpr IpxSocket kNoEchoSocket = {0x68, 0x46};

// Passes everything on to the test's shared count, and can act on the
// sending thread right after each send.
class HookedTraffic final : public TrafficObserver {
 public:
  explicit HookedTraffic(TrafficCounter& shared) : shared_(shared) {}
  // The hook runs under the lock, so that once SetAfterSend returns no
  // earlier hook is still running on a sending thread.
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

// A test node as in support/test_node.h, with a simulated driver attached.
struct GameNode {
  GameNode(const std::string& nickname, TrafficCounter& shared) : traffic(shared), counted(shared) {
    WriteTestIdentity(profile, nickname);
    NodeOptions options;
    options.ephemeral_port = true;
    options.driver = &driver;
    node = std::make_unique<Node>(NodePorts{clock, loop, window, dialogs, profile, user_info}, options);
    dialogs.loop = &loop;
    node->endpoint().SetTrafficObserver(&counted);
    // Counts the game frames this node's endpoint handled, then hands them
    // on as the node itself does.
    for (bool relayed : {false, true}) {
      DatagramHandler count = [this, relayed](std::span<const uint8_t> frame, PeerAddress sender) {
        game_frames_handled.fetch_add(1, std::memory_order_relaxed);
        node->forwarder().OnGameFrame(frame, sender, relayed);
      };
      if (relayed) {
        node->dispatcher().SetRelayedHandler(kTypeGameFrame, count);
      } else {
        node->dispatcher().SetHandler(kTypeGameFrame, count);
      }
    }
    // Lets a test hold a broadcast back before the server relays it.
    node->dispatcher().SetHandler(kTypeBroadcastFrame, [this](std::span<const uint8_t> frame, PeerAddress sender) {
      std::function<void()> hook;
      {
        std::lock_guard lock(hook_mutex);
        hook = before_relay;
      }
      if (hook) hook();
      node->local_server().OnBroadcastFrame(frame, sender);
    });
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
  // One packet from the game, sent once the one before has left the ring,
  // so that each test knows the order in which its frames went out.
  void Send(PeerAddress to, std::string_view text, IpxSocket source = kGameSocket) {
    std::span<const uint8_t> payload(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ASSERT_TRUE(driver.PutGamePacket({to, kGameSocket, source, payload}).has_value());
    ASSERT_TRUE(driver.WaitUntilIdle(5s));
  }
  void Broadcast(std::string_view text, IpxSocket source = kGameSocket) {
    Send({kBroadcastDestination, 0xFFFF}, text, source);
  }

  TrafficCounter& traffic;
  HookedTraffic counted;
  std::atomic<int> game_frames_handled{0};
  std::mutex hook_mutex;
  std::function<void()> before_relay;  // receive thread, under hook_mutex
  SimulatedDriver driver;              // outlives the node, which drives it
  ManualClock clock;
  EventLoop loop{clock, EventLoop::Idle::AdvanceClock};
  RecordingWindow window;
  ScriptedDialogs dialogs;
  ScriptedUserInfoDialog user_info;
  MemoryProfile profile;
  std::unique_ptr<Node> node;
};

// One delivered game frame as "sender type from-socket: payload".
std::string Describe(const SimulatedDriver::Delivery& d) {
  if (d.frame.size() < kGameFrameHeaderSize) return "short frame";
  const std::string payload(d.frame.begin() + kGameFrameHeaderSize, d.frame.end());
  return Format("%s %c %02X%02X>%02X%02X: ", FormatPeer(d.sender).c_str(), d.frame[kTypeOffset], d.frame[11],
                d.frame[12], d.frame[9], d.frame[10]) +
         payload;
}

std::string Expect(const GameNode& from, std::string_view text, IpxSocket source = kGameSocket) {
  return Format("%s 0 %02X%02X>%02X%02X: ", FormatPeer(from.address()).c_str(), source[0], source[1], kGameSocket[0],
                kGameSocket[1]) +
         std::string(text);
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// The payloads of what one driver was handed, in order.
std::vector<std::string> Payloads(const GameNode& to) {
  std::vector<std::string> payloads;
  for (const auto& d : to.driver.Deliveries())
    if (d.frame.size() >= kGameFrameHeaderSize)
      payloads.emplace_back(d.frame.begin() + kGameFrameHeaderSize, d.frame.end());
  return payloads;
}

std::multiset<std::string> Delivered(const GameNode& to) {
  std::multiset<std::string> frames;
  for (const auto& d : to.driver.Deliveries()) frames.insert(Describe(d));
  return frames;
}

class ThreeNodes : public ::testing::Test {
 protected:
  void SetUp() override {
    for (GameNode& n : nodes_) ASSERT_TRUE(n.Start());
    ASSERT_TRUE(host().node->local_server().StartLocalServer());
    ASSERT_TRUE(host().node->connection().IsConnected()) << host().window.Text();
    for (GameNode* player : {&alice(), &bob()}) {
      player->node->connection().ConnectByName(std::nullopt, FormatPeer(host().address()));
      ASSERT_TRUE(player->node->connection().IsConnected()) << player->window.Text();
    }
  }
  // The players say bye while the server still answers.
  void TearDown() override {
    for (size_t i = nodes_.size(); i-- > 0;) nodes_[i].node->Shutdown();
  }
  // Waits until each node's driver was handed as many frames as expected,
  // then until the traffic has settled, so that a frame too many shows too.
  void WaitForDeliveries(const std::array<size_t, 3>& counts) {
    for (size_t i = 0; i < nodes_.size(); ++i) {
      ASSERT_TRUE(nodes_[i].driver.WaitUntilIdle(5s));
      nodes_[i].driver.WaitForDeliveries(counts[i], 5s);
    }
    traffic_.WaitSettled(2s);
  }

  GameNode& host() { return nodes_[0]; }
  GameNode& alice() { return nodes_[1]; }
  GameNode& bob() { return nodes_[2]; }

  TrafficCounter traffic_;  // first: outlives every endpoint that reports to it
  std::array<GameNode, 3> nodes_{GameNode("host", traffic_), GameNode("alice", traffic_), GameNode("bob", traffic_)};
};

TEST_F(ThreeNodes, DirectedFramesGoStraightToTheAddressedPlayerOnly) {
  std::multiset<std::string> to_bob, to_alice;
  for (int i = 1; i <= 8; ++i) {
    const std::string a = Format("alice-to-bob %02d", i), b = Format("bob-to-alice %02d", i);
    alice().Send(bob().address(), a);
    bob().Send(alice().address(), b);
    to_bob.insert(Expect(alice(), a));
    to_alice.insert(Expect(bob(), b));
  }
  const std::string big = "alice-to-bob big " + std::string(kMaxSlotPayload - 17, '#');
  alice().Send(bob().address(), big);
  to_bob.insert(Expect(alice(), big));
  // The server's own player addresses a player directly as well.
  host().Send(alice().address(), "host-to-alice");
  to_alice.insert(Expect(host(), "host-to-alice"));

  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({0, to_alice.size(), to_bob.size()}));
  EXPECT_EQ(Delivered(bob()), to_bob);
  EXPECT_EQ(Delivered(alice()), to_alice);
  // Peer to peer: not one of them passed through the server's endpoint.
  EXPECT_EQ(host().game_frames_handled.load(), 0);
  EXPECT_EQ(host().driver.DeliveryCount(), 0u);
}

// The server relays a broadcast to every player, its sender included: that
// copy is the sender's own game hearing its broadcast, as on a LAN. Frames
// from the no-echo socket are the exception.
TEST_F(ThreeNodes, BroadcastsReachEveryOtherPlayerOnceThroughTheServer) {
  std::array<std::multiset<std::string>, 3> expected;
  for (size_t from = 0; from < nodes_.size(); ++from) {
    GameNode& sender = nodes_[from];
    const std::string nick = sender.profile.GetString("User Info", "NickName", "");
    std::vector<std::string> texts = {nick + " says 1", nick + " says 2"};
    if (from == 0) texts.push_back(nick + " big " + std::string(kMaxSlotPayload - nick.size() - 5, '='));
    for (const std::string& text : texts) {
      sender.Broadcast(text);
      for (auto& e : expected) e.insert(Expect(sender, text));
    }
    const std::string quiet = nick + " no echo";
    sender.Broadcast(quiet, kNoEchoSocket);
    for (size_t to = 0; to < nodes_.size(); ++to)
      if (to != from) expected[to].insert(Expect(sender, quiet, kNoEchoSocket));
  }
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({expected[0].size(), expected[1].size(), expected[2].size()}));
  for (size_t i = 0; i < nodes_.size(); ++i) EXPECT_EQ(Delivered(nodes_[i]), expected[i]) << "node " << i;
}

// A player broadcasts and at once addresses another player directly. The
// broadcast goes the longer way, through the server; the direct frame,
// numbered after it, arrives first, and the receiver's per-sender sequence
// filter then drops the broadcast as stale though nothing was repeated. The
// server holds the relay back here until the direct frame has arrived, as a
// slower path to the server does (three DOSBoxes on one machine hit this
// now and then). Each path keeps its own sequence history, so both arrive.
TEST_F(ThreeNodes, ABroadcastOvertakenByItsSendersDirectFrameStillArrives) {
  {
    std::lock_guard lock(host().hook_mutex);
    host().before_relay = [this] { bob().driver.WaitForDeliveries(1, 2s); };
  }
  alice().Broadcast("alice to all");
  alice().Send(bob().address(), "alice to bob");
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({1, 1, 2}));
  EXPECT_EQ(Delivered(bob()),
            (std::multiset<std::string>{Expect(alice(), "alice to all"), Expect(alice(), "alice to bob")}));
}

// A game sends while the send thread drains its ring. Frames 1 and 2 wait
// in slots 0 and 1; while frame 2 is being sent (its slot not yet free),
// the game's thread puts frames 3 and 4 into the ring as a driver does, each
// into the first free slot. Were the fills let in during the pass, 3 would
// land behind the drain in slot 0 and 4 ahead of it in slot 2; 4 would leave
// first and the peer's per-sender sequence filter would drop 3 as stale.
TEST_F(ThreeNodes, FramesPutIntoTheRingDuringADrainKeepTheirOrder) {
  std::atomic<int> sends{0};
  std::thread game;
  alice().counted.SetAfterSend([&] {
    if (sends.fetch_add(1) != 1) return;
    game = std::thread([&] {
      for (std::string_view text : {"frame 3", "frame 4"}) {
        const std::vector<uint8_t> payload = Bytes(text);
        EXPECT_TRUE(alice().driver.PutGamePacket({bob().address(), kGameSocket, kGameSocket, payload}).has_value());
      }
    });
    // Long enough for the game's thread to try while the pass still runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  });
  const std::vector<uint8_t> first = Bytes("frame 1"), second = Bytes("frame 2");
  ASSERT_TRUE(alice().driver.FillSlot(0, {bob().address(), kGameSocket, kGameSocket, first}));
  ASSERT_TRUE(alice().driver.FillSlot(1, {bob().address(), kGameSocket, kGameSocket, second}));
  alice().driver.Signal();
  // No early return: the hook and the game's thread must be gone before
  // the locals they use.
  WaitForDeliveries({0, 0, 4});
  alice().counted.SetAfterSend({});
  if (game.joinable()) game.join();
  EXPECT_EQ(Payloads(bob()), (std::vector<std::string>{"frame 1", "frame 2", "frame 3", "frame 4"}));
}

}  // namespace
}  // namespace vorn
