// Four players on a host, each a vornd with a DOSBox driver, play a game at
// 35 frames a second through the real programs: the frames travel from a
// DOSBox stand-in through its node's driver and packet ring to the host,
// which relays them to the other players' nodes and on to their DOSBoxes.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <memory>

#include "proving/game_traffic.h"
#include "proving/soak_support.h"

namespace vorn::soak {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartLimit = 20s;
constexpr auto kDeliveryLimit = 10s;
// Memory is measured from here on: sockets, threads and tables are made.
constexpr int kWarmUpSeconds = 5;
constexpr int64_t kMaxGrowthKiB = 1024;
// Two minutes in CI; scripts/soak plays ten.
constexpr int kShortFormSeconds = 120;

class GameSoak : public ::testing::Test {
 protected:
  // Player 0 hosts (its own player takes the host's first entry); the
  // others connect to it.
  void StartPlayers() {
    uint16_t host_port = FreeUdpPort();
    for (size_t i = 0; i < kPlayers; ++i) {
      uint16_t dosbox_port = FreeUdpPort();
      // Protected copies on every link: still each frame exactly once.
      std::vector<std::string> extra = {"--dosbox-port", std::to_string(dosbox_port), "--loss-protection", "always"};
      extra.push_back(i == 0 ? "--server" : "127.0.0.1:" + std::to_string(host_port));
      nodes_[i] = std::make_unique<Program>(
          VorndCommand(dir_, "player" + std::to_string(i), i == 0 ? host_port : FreeUdpPort(), extra));
      ASSERT_TRUE(nodes_[i]->started());
      ASSERT_TRUE(nodes_[i]->WaitForOutput("Connected to server.", kStartLimit)) << nodes_[i]->Tail();
      ASSERT_TRUE(players_[i].Register(dosbox_port)) << "player " << i;
    }
  }

  void PlayFor(std::chrono::seconds length) { std::this_thread::sleep_for(length); }  // the game runs meanwhile

  std::array<int64_t, kPlayers> Resident() const {
    std::array<int64_t, kPlayers> kib{};
    for (size_t i = 0; i < kPlayers; ++i) kib[i] = ResidentKiB(nodes_[i]->pid());
    return kib;
  }

  void StopNodes(size_t count) {
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(nodes_[i]->Stop(SIGINT), 0) << nodes_[i]->Tail();
  }

  TempDir dir_;
  std::array<std::unique_ptr<Program>, kPlayers> nodes_;
  std::array<FakeDosbox, kPlayers> players_;
};

TEST_F(GameSoak, FourPlayersLoseNoFrameAndHoldTheirMemoryFlat) {
  const int seconds = std::max(SoakSeconds(kShortFormSeconds), kWarmUpSeconds + 1);
  ASSERT_NO_FATAL_FAILURE(StartPlayers());
  GameTraffic game(players_);
  game.Start();
  PlayFor(std::chrono::seconds(kWarmUpSeconds));
  std::array<int64_t, kPlayers> rss_start = Resident();
  PlayFor(std::chrono::seconds(seconds - kWarmUpSeconds));
  for (size_t i = 0; i < kPlayers; ++i) game.StopSending(i);
  EXPECT_TRUE(game.WaitDelivered(kDeliveryLimit)) << game.Report();
  std::array<int64_t, kPlayers> rss_end = Resident();
  game.StopAll();

  std::printf("[soak] game: 4 players, %d frames/s each, %d s\n%s", kFramesPerSecond, seconds, game.Report().c_str());
  for (size_t i = 0; i < kPlayers; ++i) {
    std::printf("[soak]   player%zu VmRSS after %d s %lld KiB, at the end %lld KiB (%+lld KiB)\n", i, kWarmUpSeconds,
                static_cast<long long>(rss_start[i]), static_cast<long long>(rss_end[i]),
                static_cast<long long>(rss_end[i] - rss_start[i]));
    ASSERT_GT(rss_start[i], 0);
    EXPECT_LE(std::llabs(rss_end[i] - rss_start[i]), kMaxGrowthKiB) << "player " << i;
  }
  std::fflush(stdout);
  EXPECT_TRUE(game.Clean()) << game.Report();
  for (size_t i = 0; i < kPlayers; ++i) EXPECT_GT(game.Sent(i), uint64_t(kFramesPerSecond) * (seconds - 1));
  StopNodes(kPlayers);
}

// The host forgets a player that went silent after a minute without a
// message from it; the others play on without losing a frame.
TEST_F(GameSoak, APlayerThatVanishesIsDroppedAfterAMinuteAndTheOthersPlayOn) {
  constexpr size_t kGone = 3;
  constexpr auto kDropLimit = 90s;
  ASSERT_NO_FATAL_FAILURE(StartPlayers());
  GameTraffic game(players_);
  game.Start();
  PlayFor(std::chrono::seconds(kWarmUpSeconds));
  // Its DOSBox falls silent first, so that every frame it sent is still
  // owed to the others; then its node freezes.
  game.StopSending(kGone);
  ASSERT_TRUE(game.WaitDelivered(kDeliveryLimit)) << game.Report();
  game.StopListening(kGone);
  ASSERT_TRUE(nodes_[kGone]->Signal(SIGSTOP));
  auto frozen = std::chrono::steady_clock::now();
  bool dropped = nodes_[0]->WaitForOutput("### player3 (127.0.0.1) has been disconnected (ping timeout).", kDropLimit);
  double after_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - frozen).count();
  ASSERT_TRUE(dropped) << nodes_[0]->Tail();
  PlayFor(5s);  // the three play on after the drop
  for (size_t i = 0; i < kGone; ++i) game.StopSending(i);
  EXPECT_TRUE(game.WaitDelivered(kDeliveryLimit)) << game.Report();
  game.StopAll();

  std::printf("[soak] vanish: player3 frozen (SIGSTOP) after %d s; the host dropped it %.1f s later\n%s",
              kWarmUpSeconds, after_s, game.Report().c_str());
  std::fflush(stdout);
  // A minute of silence, counted from its last message: its last frame or
  // ping reply came shortly before the freeze, and the host looks once a second.
  EXPECT_GE(after_s, 55.0);
  EXPECT_LE(after_s, 65.0);
  EXPECT_TRUE(game.Clean()) << game.Report();
  EXPECT_TRUE(nodes_[kGone]->Signal(SIGKILL));
  StopNodes(kGone);
}

}  // namespace
}  // namespace vorn::soak
