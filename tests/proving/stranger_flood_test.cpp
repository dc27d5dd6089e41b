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

std::span<const uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

constexpr const char* kKindNames[] = {"hello", "chat", "game frame", "'Q'/'U'"};

// The datagrams of one kind, sent in turn.
std::vector<Bytes> Kind(size_t kind) {
  Bytes frame(kMaxDatagram);
  frame.resize(BuildGameFrame(frame, {kTypeGameFrame, 7, kGameSocket, kGameSocket, AsBytes("forged frame")}));
  const std::vector<Bytes> kinds[] = {
      {hostile::WellFormed(kTypeHello)},
      {hostile::ChatFrame(kTypeGameFrame, ChatSubtype::Text, "bob", "forged line")},
      {frame},
      {hostile::WellFormed(kTypePlayerListRequest), hostile::WellFormed(kTypeNamesRequest)}};
  return kinds[kind];
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
  // The game frames a player's game got from `from` and, when not, from
  // anyone else; beyond the recorded deliveries (only the first few hundred
  // are kept) every frame counts as from someone else.
  static size_t FramesFrom(const GameNode& to, const GameNode& from, bool from_them) {
    const auto recorded = to.driver.Deliveries();
    size_t count = from_them ? 0 : to.driver.DeliveryCount() - recorded.size();
    for (const auto& d : recorded) {
      const bool game =
          d.frame.size() >= kGameFrameHeaderSize && d.frame[9] == kGameSocket[0] && d.frame[10] == kGameSocket[1];
      count += game && (d.sender == from.address()) == from_them ? 1 : 0;
    }
    return count;
  }

  TrafficCounter traffic;
  GameNode host{"host", traffic, true}, alice{"alice", traffic, true}, bob{"bob", traffic, true};
};

TEST_P(StrangerFlood, RealFramesArriveAndNothingOfTheStrangersIsShownOrPlayed) {
  // Short enough that every real frame is among a driver's recorded ones.
  const int seconds = std::min(soak::SoakSeconds(4), 6);
  const std::vector<Bytes> kind = Kind(GetParam());
  std::vector<std::unique_ptr<FakeClient>> ports;
  for (size_t i = 0; i < kFloodPorts; ++i) ports.push_back(std::make_unique<FakeClient>());
  const size_t output_before = host.window.Text().size() + alice.window.Text().size();
  const int64_t rss_before = soak::ResidentKiB(getpid());
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> flooded{0};
  std::jthread flood([&] {
    const std::array<PeerAddress, 2> targets = {host.address(), alice.address()};
    for (uint64_t n = 0; !stop.load(std::memory_order_relaxed) && n < kMaxFloodDatagrams; ++n) {
      ports[n % kFloodPorts]->Send(targets[n % 2], kind[n / 2 % kind.size()]);
      flooded.store(n + 1, std::memory_order_relaxed);
    }
  });
  // The players, 35 frames a second each way, for the given time.
  size_t sent = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int tick = 0; tick < seconds * kFramesPerSecond; ++tick) {
    std::this_thread::sleep_until(start + tick * 1000ms / kFramesPerSecond);
    const std::string a = "a" + std::to_string(tick), b = "b" + std::to_string(tick);
    sent += alice.driver.PutGamePacket({bob.address(), kGameSocket, kGameSocket, AsBytes(a)}).has_value() ? 1 : 0;
    sent += bob.driver.PutGamePacket({alice.address(), kGameSocket, kGameSocket, AsBytes(b)}).has_value() ? 1 : 0;
  }
  stop = true;
  flood.join();
  std::this_thread::sleep_for(500ms);  // the last frames land
  const size_t expected = 2 * static_cast<size_t>(seconds * kFramesPerSecond);
  const size_t arrived = FramesFrom(bob, alice, true) + FramesFrom(alice, bob, true);
  // Nobody plays with the host: every frame there is injected.
  const size_t injected = FramesFrom(alice, bob, false) + FramesFrom(host, host, false);
  const bool shown = alice.log.Text().find("forged") != std::string::npos;
  const double lost_percent =
      100.0 * static_cast<double>(expected - std::min(arrived, expected)) / static_cast<double>(expected);
  std::printf(
      "[soak] flood %-10s %9llu stranger datagrams in %d s; real frames %zu of %zu (%zu into the ring), "
      "%.1f%% lost; injected %zu, stranger chat shown %d; RSS %lld -> %lld KiB; output +%zu bytes\n",
      kKindNames[GetParam()], static_cast<unsigned long long>(flooded.load()), seconds, arrived, expected, sent,
      lost_percent, injected, shown, static_cast<long long>(rss_before),
      static_cast<long long>(soak::ResidentKiB(getpid())),
      host.window.Text().size() + alice.window.Text().size() - output_before);
  EXPECT_EQ(injected, 0u);
  EXPECT_FALSE(shown);
  EXPECT_LE(lost_percent, 5.0);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, StrangerFlood, ::testing::Range(size_t{0}, size_t{4}));

}  // namespace
}  // namespace vorn
