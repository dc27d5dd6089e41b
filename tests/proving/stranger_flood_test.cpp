// A stranger floods the host and a player from 64 loopback ports as fast as
// one core sends, while two players exchange 35 game frames a second each
// way: hellos, chat, game frames and queries in turn. The players' frames
// must still arrive, none of the stranger's may reach a game or a chat
// window, and memory and output stay bounded. Prints "[soak]" figures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "hostile/hostile_support.h"
#include "node/game_node.h"
#include "proving/soak_support.h"
#include "support/fake_client.h"

namespace vorn {
namespace {

using namespace std::chrono_literals;
using hostile::Bytes;

constexpr size_t kFloodPorts = 64;
constexpr int kFramesPerSecond = 35;
constexpr uint64_t kMaxFloodDatagrams = 20'000'000;  // a bound besides the time

Bytes GameFrameDatagram(std::string_view text) {
  Bytes out(kMaxDatagram);
  const std::span<const uint8_t> payload(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  out.resize(BuildGameFrame(out, {kTypeGameFrame, 7, kGameSocket, kGameSocket, payload}));
  return out;
}

struct FloodKind {
  std::string_view name;
  std::vector<Bytes> datagrams;  // sent in turn
};

std::vector<FloodKind> Kinds() {
  return {{"hello", {hostile::WellFormed(kTypeHello)}},
          {"chat", {hostile::ChatFrame(kTypeGameFrame, ChatSubtype::Text, "bob", "forged line")}},
          {"game frame", {GameFrameDatagram("forged frame")}},
          {"'Q'/'U'", {hostile::WellFormed(kTypePlayerListRequest), hostile::WellFormed(kTypeNamesRequest)}}};
}

class StrangerFlood : public ::testing::TestWithParam<size_t> {
 protected:
  void SetUp() override {
    for (GameNode* n : {&host, &alice, &bob}) ASSERT_TRUE(n->Start());
    ASSERT_TRUE(host.node->local_server().StartLocalServer());
    for (GameNode* player : {&alice, &bob}) {
      player->node->connection().ConnectByName(std::nullopt, FormatPeer(host.address()));
      ASSERT_TRUE(player->node->connection().IsConnected()) << player->window.Text();
      player->node->chat().JoinChannel("#chat");
    }
  }
  void TearDown() override {
    for (GameNode* n : {&bob, &alice, &host}) n->node->Shutdown();
  }

  static bool OnGameSocket(const SimulatedDriver::Delivery& d) {
    return d.frame.size() >= kGameFrameHeaderSize && d.frame[9] == kGameSocket[0] && d.frame[10] == kGameSocket[1];
  }
  // The game frames a player's game got from its peer.
  static size_t RealFramesFrom(const GameNode& to, const GameNode& from) {
    size_t count = 0;
    for (const auto& d : to.driver.Deliveries()) count += OnGameSocket(d) && d.sender == from.address() ? 1 : 0;
    return count;
  }
  // Game frames from anyone else; beyond the recorded deliveries (only the
  // first few hundred are kept) every frame counts as injected.
  static size_t Injected(const GameNode& to, const GameNode& peer) {
    const auto recorded = to.driver.Deliveries();
    size_t count = to.driver.DeliveryCount() - recorded.size();
    for (const auto& d : recorded) count += OnGameSocket(d) && d.sender != peer.address() ? 1 : 0;
    return count;
  }

  TrafficCounter traffic;
  GameNode host{"host", traffic, true}, alice{"alice", traffic, true}, bob{"bob", traffic, true};
};

TEST_P(StrangerFlood, RealFramesArriveAndNothingOfTheStrangersIsShownOrPlayed) {
  // Short enough that every real frame is among a driver's recorded ones.
  const int seconds = std::min(soak::SoakSeconds(4), 6);
  std::vector<std::unique_ptr<FakeClient>> ports;
  for (size_t i = 0; i < kFloodPorts; ++i) ports.push_back(std::make_unique<FakeClient>());
  {
    const FloodKind kind = Kinds()[GetParam()];
    const size_t output_before = host.window.Text().size() + alice.window.Text().size();
    const int64_t rss_before = soak::ResidentKiB(getpid());
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> flooded{0};
    std::jthread flood([&] {
      const std::array<PeerAddress, 2> targets = {host.address(), alice.address()};
      for (uint64_t n = 0; !stop.load(std::memory_order_relaxed) && n < kMaxFloodDatagrams; ++n) {
        ports[n % kFloodPorts]->Send(targets[n % 2], kind.datagrams[n / 2 % kind.datagrams.size()]);
        flooded.store(n + 1, std::memory_order_relaxed);
      }
    });
    // The players, 35 frames a second each way, for the given time.
    size_t sent = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int tick = 0; tick < seconds * kFramesPerSecond; ++tick) {
      std::this_thread::sleep_until(start + tick * 1000ms / kFramesPerSecond);
      const std::string a = "a" + std::to_string(tick), b = "b" + std::to_string(tick);
      for (auto [from, to, text] : {std::tuple{&alice, &bob, a}, std::tuple{&bob, &alice, b}}) {
        const std::span<const uint8_t> payload(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        sent += from->driver.PutGamePacket({to->address(), kGameSocket, kGameSocket, payload}).has_value() ? 1 : 0;
      }
    }
    stop = true;
    flood.join();
    std::this_thread::sleep_for(500ms);  // the last frames land
    const size_t expected = 2 * static_cast<size_t>(seconds * kFramesPerSecond);
    const size_t arrived = RealFramesFrom(bob, alice) + RealFramesFrom(alice, bob);
    const size_t injected = Injected(alice, bob) + Injected(host, host);  // nobody plays with the host
    const size_t shown = alice.log.Text().find("forged") != std::string::npos ? 1 : 0;
    const double lost_percent =
        100.0 * static_cast<double>(expected - std::min(arrived, expected)) / static_cast<double>(expected);
    const size_t output = host.window.Text().size() + alice.window.Text().size() - output_before;
    std::printf(
        "[soak] flood %-10s %9llu stranger datagrams in %d s; real frames %zu of %zu (%zu into the ring), "
        "%.1f%% lost; injected %zu, stranger chat shown %zu; RSS %lld -> %lld KiB; output +%zu bytes\n",
        std::string(kind.name).c_str(), static_cast<unsigned long long>(flooded.load()), seconds, arrived, expected,
        sent, lost_percent, injected, shown, static_cast<long long>(rss_before),
        static_cast<long long>(soak::ResidentKiB(getpid())), output);
    EXPECT_EQ(injected, 0u) << kind.name;
    EXPECT_EQ(shown, 0u) << kind.name;
    EXPECT_LE(lost_percent, 5.0) << kind.name;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, StrangerFlood, ::testing::Range(size_t{0}, size_t{4}));

}  // namespace
}  // namespace vorn
