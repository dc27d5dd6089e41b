// Three nodes in one process on loopback, one of them serving, each with a
// simulated driver in place of a game: directed game frames travel straight
// between the players, broadcasts go through the server, and each frame
// reaches every player it is meant for exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hostile/hostile_support.h"
#include "node/game_node.h"
#include "platform/text.h"
#include "support/fake_client.h"

namespace vorn {
namespace {

using namespace std::chrono_literals;

// The server never echoes a broadcast from this source socket to its sender.
constexpr IpxSocket kNoEchoSocket = {0x68, 0x46};

// Passes everything on, and loses the received datagrams a test names
// before the node sees them.
class LossyTraffic final : public TrafficObserver {
 public:
  using Drops = std::function<bool(std::span<const uint8_t> datagram, PeerAddress from)>;
  explicit LossyTraffic(TrafficObserver& next) : next_(next) {}
  void OnSent(PeerAddress to) override { next_.OnSent(to); }
  void OnDispatched() override { next_.OnDispatched(); }
  bool DropsReceived(std::span<const uint8_t> datagram, PeerAddress from) override {
    std::lock_guard lock(mutex_);
    return drops_ && drops_(datagram, from);
  }
  void SetDrops(Drops drops) {
    std::lock_guard lock(mutex_);
    drops_ = std::move(drops);
  }

 private:
  TrafficObserver& next_;
  std::mutex mutex_;
  Drops drops_;
};

// A game node that counts the game frames its endpoint handled and lets a
// test hold a broadcast back before the server relays it.
struct CountingNode : GameNode {
  CountingNode(const std::string& nickname, TrafficCounter& shared) : GameNode(nickname, shared) {
    node->endpoint().SetTrafficObserver(&lossy);
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
    node->dispatcher().SetHandler(kTypeBroadcastFrame, [this](std::span<const uint8_t> frame, PeerAddress sender) {
      std::function<void()> hook;
      {
        std::lock_guard lock(hook_mutex);
        hook = before_relay;
      }
      if (hook) hook();
      node->local_server().OnBroadcastFrame(frame, sender);
    });
  }
  // Sent once the packet before has left the ring, so the order is known.
  void Send(PeerAddress to, std::string_view text, IpxSocket source = kGameSocket) {
    Put(to, text, source);
    ASSERT_TRUE(driver.WaitUntilIdle(5s));
  }
  void Broadcast(std::string_view text, IpxSocket source = kGameSocket) {
    Send({kBroadcastDestination, 0xFFFF}, text, source);
  }

  ~CountingNode() { node->endpoint().SetTrafficObserver(&counted); }

  std::atomic<int> game_frames_handled{0};
  LossyTraffic lossy{counted};
  std::mutex hook_mutex;
  std::function<void()> before_relay;  // receive thread, under hook_mutex
};

// One delivered game frame as "sender type from-socket: payload".
std::string Describe(const SimulatedDriver::Delivery& d) {
  if (d.frame.size() < kGameFrameHeaderSize) return "short frame";
  const std::string payload(d.frame.begin() + kGameFrameHeaderSize, d.frame.end());
  return Format("%s %c %02X%02X>%02X%02X: ", FormatPeer(d.sender).c_str(), d.frame[kTypeOffset], d.frame[11],
                d.frame[12], d.frame[9], d.frame[10]) +
         payload;
}

std::string Expect(const CountingNode& from, std::string_view text, IpxSocket source = kGameSocket) {
  return Format("%s 0 %02X%02X>%02X%02X: ", FormatPeer(from.address()).c_str(), source[0], source[1], kGameSocket[0],
                kGameSocket[1]) +
         std::string(text);
}

std::multiset<std::string> Delivered(const CountingNode& to) {
  std::multiset<std::string> frames;
  for (const auto& d : to.driver.Deliveries()) frames.insert(Describe(d));
  return frames;
}

class ThreeNodes : public ServedTrio<CountingNode> {
 protected:
  // Waits until each node's driver was handed as many frames as expected,
  // then until the traffic has settled, so that a frame too many shows too.
  void WaitForDeliveries(const std::array<size_t, 3>& counts) {
    for (size_t i = 0; i < nodes_.size(); ++i) {
      ASSERT_TRUE(nodes_[i].driver.WaitUntilIdle(5s));
      nodes_[i].driver.WaitForDeliveries(counts[i], 5s);
    }
    traffic_.WaitSettled(2s);
  }
};

// Directed frames go straight to the addressed player: not one passes
// through the server's endpoint. Broadcasts are relayed to every player, the
// sender included (its game hears its own broadcast, as on a LAN), except
// frames from the no-echo socket. Each arrives once.
TEST_F(ThreeNodes, DirectedFramesGoStraightAndBroadcastsReachEveryPlayerOnceThroughTheServer) {
  std::array<std::multiset<std::string>, 3> expected;
  for (int i = 1; i <= 4; ++i) {
    const std::string a = Format("alice-to-bob %02d", i), b = Format("bob-to-alice %02d", i);
    alice().Send(bob().address(), a);
    bob().Send(alice().address(), b);
    expected[2].insert(Expect(alice(), a));
    expected[1].insert(Expect(bob(), b));
  }
  host().Send(alice().address(), "host-to-alice");
  expected[1].insert(Expect(host(), "host-to-alice"));
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({0, expected[1].size(), expected[2].size()}));
  EXPECT_EQ(host().game_frames_handled.load(), 0);

  for (size_t from = 0; from < nodes_.size(); ++from) {
    CountingNode& sender = nodes_[from];
    const std::string text = sender.nick + " says", quiet = sender.nick + " no echo";
    sender.Broadcast(text);
    for (auto& e : expected) e.insert(Expect(sender, text));
    sender.Broadcast(quiet, kNoEchoSocket);
    for (size_t to = 0; to < nodes_.size(); ++to)
      if (to != from) expected[to].insert(Expect(sender, quiet, kNoEchoSocket));
  }
  const std::string big = "alice big " + std::string(kMaxSlotPayload - 10, '=');
  alice().Send(bob().address(), big);
  alice().Broadcast(big);
  for (auto& e : expected) e.insert(Expect(alice(), big));
  expected[2].insert(Expect(alice(), big));
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({expected[0].size(), expected[1].size(), expected[2].size()}));
  for (size_t i = 0; i < nodes_.size(); ++i) EXPECT_EQ(Delivered(nodes_[i]), expected[i]) << "node " << i;
}

// The direct frame, numbered after the broadcast, overtakes it (the server
// holds the relay back); a shared per-sender sequence history would drop the
// broadcast as stale. Each path keeps its own, so both arrive. A first frame
// makes Bob's gate list Alice, so that it holds nothing back.
TEST_F(ThreeNodes, ABroadcastOvertakenByItsSendersDirectFrameStillArrives) {
  alice().Send(bob().address(), "alice to bob first");
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({0, 0, 1}));
  {
    std::lock_guard lock(host().hook_mutex);
    host().before_relay = [this] { bob().driver.WaitForDeliveries(2, 2s); };
  }
  alice().Broadcast("alice to all");
  alice().Send(bob().address(), "alice to bob");
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({1, 1, 3}));
  EXPECT_EQ(bob().GameFrames(), (std::vector<std::string>{"alice to bob first", "alice to bob", "alice to all"}));
}

// While frame 2 (of slots 0 and 1) is being sent, the game puts frames 3 and
// 4 into the first free slots. Were fills let in during the pass, 3 would land
// behind the drain and 4 ahead of it, and the peer would drop 3 as stale.
TEST_F(ThreeNodes, FramesPutIntoTheRingDuringADrainKeepTheirOrder) {
  std::atomic<int> sends{0};
  std::thread game;
  alice().counted.SetAfterSend([&] {
    if (sends.fetch_add(1) != 1) return;
    game = std::thread([&] {
      for (std::string_view text : {"frame 3", "frame 4"}) alice().Put(bob().address(), text);
    });
    // Long enough for the game's thread to try while the pass still runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  });
  for (size_t slot : {0u, 1u}) {
    const std::string text = "frame " + std::to_string(slot + 1);
    const std::span<const uint8_t> payload(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ASSERT_TRUE(alice().driver.FillSlot(slot, {bob().address(), kGameSocket, kGameSocket, payload}));
  }
  alice().driver.Signal();
  // No early return: the hook and the game's thread must end before the locals.
  WaitForDeliveries({0, 0, 4});
  alice().counted.SetAfterSend({});
  if (game.joinable()) game.join();
  EXPECT_EQ(bob().GameFrames(), (std::vector<std::string>{"frame 1", "frame 2", "frame 3", "frame 4"}));
}

// With protection always on and the probes answered, each game datagram
// between the Vorn nodes is followed by its parity (or a plain copy). Lose
// a first copy anywhere - a directed frame, a broadcast on its way to the
// host, the host's relay of one - alone or with the parity right after it,
// and each frame still reaches each game, the host's own included, once.
TEST_F(ThreeNodes, ProtectedFramesReachEveryGameOnceWhenAFirstCopyIsLost) {
  for (CountingNode& n : nodes_) n.node->links().SetMode(LossProtection::kAlways);
  std::array<std::multiset<std::string>, 3> expected;
  auto broadcast = [&](CountingNode& from, const std::string& text) {
    from.Broadcast(text);
    for (auto& e : expected) e.insert(Expect(from, text));
  };
  // Traffic makes the links; a round of probes tells each side what the other decodes.
  broadcast(alice(), "alice warm-up");
  broadcast(host(), "host warm-up");
  alice().Send(bob().address(), "alice to bob warm-up");
  expected[2].insert(Expect(alice(), "alice to bob warm-up"));
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({2, 2, 3}));
  for (CountingNode& n : nodes_) n.node->links().Tick();
  traffic_.WaitSettled(2s);

  struct Loss {
    CountingNode& at;
    std::string text;
    bool parity_too;
  };
  const std::array<Loss, 5> losses = {{{bob(), "alice to bob 2", false},
                                       {bob(), "alice to bob 4", true},
                                       {host(), "alice to all 2", true},
                                       {bob(), "host to all 2", false},
                                       {alice(), "host to all 3", true}}};
  std::atomic<int> parities_at_bob{0};
  for (CountingNode& n : nodes_) {
    // The parity lost with a frame is the next one from its sender: the
    // host's parities to bob for other frames may arrive in between.
    n.lossy.SetDrops([&, parity_from = PeerAddress{}](std::span<const uint8_t> d, PeerAddress from) mutable {
      const bool parity = d[kTypeOffset] == kTypeParity;
      if (parity && &n == &bob()) ++parities_at_bob;
      if (parity && parity_from.IsSet() && from == parity_from) {
        parity_from = PeerAddress{};
        return true;
      }
      for (const Loss& loss : losses) {
        if (&loss.at != &n || std::search(d.begin(), d.end(), loss.text.begin(), loss.text.end()) == d.end()) continue;
        if (loss.parity_too) parity_from = from;
        return true;
      }
      return false;
    });
  }
  for (int i = 1; i <= 5; ++i) {
    alice().Send(bob().address(), Format("alice to bob %d", i));
    expected[2].insert(Expect(alice(), Format("alice to bob %d", i)));
    broadcast(alice(), Format("alice to all %d", i));
    broadcast(host(), Format("host to all %d", i));
  }
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({12, 12, 18}));
  for (CountingNode& n : nodes_) n.lossy.SetDrops({});
  for (size_t i = 0; i < nodes_.size(); ++i) EXPECT_EQ(Delivered(nodes_[i]), expected[i]) << "node " << i;
  EXPECT_GT(parities_at_bob.load(), 0);
}

// A player that follows the protocol never answers a probe, so it never
// gets a copy, however the host and the other players are set.
TEST_F(ThreeNodes, APlayerThatNeverAnnouncedGetsEveryFrameOnce) {
  for (CountingNode& n : nodes_) n.node->links().SetMode(LossProtection::kAlways);
  FakeClient plain;
  plain.SendHello(host().address(), "plain");
  ASSERT_EQ(plain.ReceiveType(), kTypeAccepted);
  host().Broadcast("warm-up");
  for (CountingNode& n : nodes_) n.node->links().Tick();
  host().Broadcast("host to all");
  alice().Send(plain.address(), "alice to plain");
  std::multiset<std::string> frames;
  int parities = 0;
  for (std::vector<uint8_t> d = plain.Receive(500ms); !d.empty(); d = plain.Receive(500ms)) {
    const std::span<const uint8_t> inner =
        d[kTypeOffset] == kTypeProxyWrap ? std::span<const uint8_t>(d).subspan(kWrapHeaderSize) : std::span(d);
    if (inner.size() > kGameFrameHeaderSize && inner[kTypeOffset] == kTypeGameFrame)
      frames.emplace(inner.begin() + kGameFrameHeaderSize, inner.end());
    parities += d[kTypeOffset] == kTypeParity ? 1 : 0;
  }
  EXPECT_EQ(frames, (std::multiset<std::string>{"warm-up", "host to all", "alice to plain"}));
  EXPECT_EQ(parities, 0);
}

// A host whose own address, the one its players dial, is not the one its
// kernel sends from (1:1 NAT, several addresses): relayed broadcasts still
// reach both games, addressed to everyone, and directed frames to the node.
TEST(HostUnderAnotherAddress, RelayedBroadcastsReachBothGamesAddressedToEveryone) {
  TrafficCounter traffic;
  CountingNode host("host", traffic), alice("alice", traffic);
  host.profile.WriteString("Misc", "my_ip", "127.0.0.2");
  ASSERT_TRUE(host.Start() && alice.Start());
  const uint16_t port = host.node->endpoint().BoundPort();
  traffic.Watch({0x7F000001, port});
  ASSERT_TRUE(host.node->local_server().StartLocalServer());
  alice.node->connection().ConnectByName(std::nullopt, FormatPeer({0x7F000002, port}));
  ASSERT_TRUE(alice.node->connection().IsConnected()) << alice.window.Text();
  host.Broadcast("from host");
  alice.Broadcast("from alice");
  alice.Send(host.address(), "to host");
  ASSERT_TRUE(host.driver.WaitForDeliveries(3, 5s) && alice.driver.WaitForDeliveries(2, 5s));
  traffic.WaitSettled();
  for (CountingNode* n : {&host, &alice}) {
    std::multiset<std::string> seen;
    for (const auto& d : n->driver.Deliveries())
      seen.insert((d.broadcast ? "all: " : "node: ") +
                  std::string(d.frame.begin() + kGameFrameHeaderSize, d.frame.end()));
    std::multiset<std::string> expected{"all: from host", "all: from alice"};
    if (n == &host) expected.insert("node: to host");
    EXPECT_EQ(seen, expected) << n->nick;
  }
  alice.node->Shutdown();
  host.node->Shutdown();
}

// A stranger who knows the players' addresses sends them game frames and
// chat from many ports: none reaches a game or a chat, the chat table keeps
// room for the players, and a player's first frame still arrives.
TEST_F(ThreeNodes, StrangersReachNeitherTheGameNorTheChat) {
  alice().node->chat().JoinChannel("#chat");
  bob().Send(alice().address(), "bob-first");  // held until the server lists bob
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({0, 1, 0}));
  const auto chat_before = hostile::ChatRows(alice().node->chat());
  std::vector<std::unique_ptr<FakeClient>> strangers;
  for (int port = 0; port < 120; ++port) {
    strangers.push_back(std::make_unique<FakeClient>());
    const auto frame = hostile::ChatFrame(kTypeGameFrame, ChatSubtype::Text, "bob", "forged line");
    strangers.back()->Send(alice().address(), frame);
    traffic_.OnSent(alice().address());  // so that settling waits for it and the question it raises
  }
  std::array<uint8_t, 64> game{};
  const uint8_t payload[] = {'x'};
  strangers[0]->Send(alice().address(), std::span(game).first(BuildGameFrame(
                                            game, {kTypeGameFrame, 5, kGameSocket, kGameSocket, payload})));
  traffic_.OnSent(alice().address());
  bob().Send(alice().address(), "bob-second");
  // Alice's own chat greetings count as deliveries too: wait for the frame.
  for (int tries = 0; tries < 5000 && alice().GameFrames().size() < 2; ++tries) std::this_thread::sleep_for(1ms);
  ASSERT_NO_FATAL_FAILURE(WaitForDeliveries({0, 2, 0}));
  EXPECT_EQ(alice().GameFrames(), (std::vector<std::string>{"bob-first", "bob-second"}));
  EXPECT_EQ(hostile::ChatRows(alice().node->chat()), chat_before);
  EXPECT_EQ(alice().node->forwarder().gate().HeldCount(), 0u);
}

}  // namespace
}  // namespace vorn
