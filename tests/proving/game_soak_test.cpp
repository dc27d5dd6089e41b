// Four players on a host, each a vornd with a DOSBox driver, play a game at
// 35 frames a second through the real programs: the frames travel from a
// DOSBox stand-in through its node's driver and packet ring to the host,
// which relays them to the other players' nodes and on to their DOSBoxes.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "ipx/dosbox_test_support.h"
#include "proving/soak_support.h"
#include "support/fake_client.h"

namespace vorn::soak {
namespace {

using namespace std::chrono_literals;

constexpr size_t kPlayers = 4;
constexpr int kFramesPerSecond = 35;
constexpr auto kStartLimit = 20s;
constexpr auto kDeliveryLimit = 10s;
// Memory is measured from here on: sockets, threads and tables are made.
constexpr int kWarmUpSeconds = 5;
constexpr int64_t kMaxGrowthKiB = 1024;
// Two minutes in CI; scripts/soak plays ten.
constexpr int kShortFormSeconds = 120;
// A frame: 'G', the sender's index, its number (8 bytes, little-endian),
// and filler to the size of a typical game frame.
constexpr size_t kFrameBytes = 64;

// A stand-in for one DOSBox in front of a node's DOSBox driver, speaking the
// IPX tunnel protocol.
class FakeDosbox {
 public:
  static constexpr size_t kIpxHeaderSize = 30;

  bool Register(uint16_t driver_port) {
    const int bytes = 1 << 20;  // the test reads in bursts
    ::setsockopt(fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    driver_ = {kLoopback, driver_port};
    client_.Send(driver_, dosbox_test::kRegistrationRequest);
    const std::optional<Datagram> answer = client_.ReceiveFrom(5000);
    return answer && answer->from == driver_ && answer->bytes.size() >= kIpxHeaderSize;
  }
  // An IPX packet to every node, from and to the game's socket 5A17.
  void Broadcast(const dosbox_test::Bytes& data) const {
    client_.Send(driver_, dosbox_test::IpxBytes(dosbox_test::kBroadcastNode, 0x5A17, 0x5A17, data));
  }
  // The data of the IPX packet waiting, if any.
  dosbox_test::Bytes Receive() const {
    const std::optional<Datagram> got = client_.ReceiveFrom(0);
    if (!got || got->bytes.size() <= kIpxHeaderSize) return {};
    return {got->bytes.begin() + kIpxHeaderSize, got->bytes.end()};
  }
  int fd() const { return client_.socket().fd(); }

 private:
  FakeClient client_;
  PeerAddress driver_;
};

// Each player's DOSBox stand-in broadcasts a numbered frame every tick, and
// every frame that arrives is checked against the sender's numbering, so
// that a frame lost, repeated or overtaken end to end is counted.
class GameTraffic {
 public:
  explicit GameTraffic(std::array<FakeDosbox, kPlayers>& players) : players_(players) {
    for (size_t i = 0; i < kPlayers; ++i) sending_[i] = listening_[i] = true;
    receiver_ = std::jthread([this](std::stop_token stop) { ReceiveLoop(stop); });
    sender_ = std::jthread([this](std::stop_token stop) { SendLoop(stop); });
  }
  // The player sends no more frames; its stream ends with what it sent.
  void StopSending(size_t player) { sending_[player] = false; }
  // The player's frames are no longer checked (its node is gone).
  void StopListening(size_t player) { listening_[player] = false; }
  void StopAll() {
    for (auto& sending : sending_) sending = false;
    sender_ = {};  // requests the stop and joins
    receiver_ = {};
  }
  uint64_t Sent(size_t player) const { return sent_[player].load(); }
  // Until every listening player holds every frame that each other sender
  // sent, or the limit passes.
  bool WaitDelivered(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Check(false) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(20ms);  // polling counters the receiver thread fills
    return Check(false);
  }
  // No frame missing, repeated or overtaken between listeners and senders.
  bool Clean() const { return Check(true); }
  // One line per receiver: frames from each sender, and any fault.
  std::string Report() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (size_t r = 0; r < kPlayers; ++r) {
      text += Format("[soak]   player%zu%s received:", r, listening_[r] ? "" : " (gone)");
      for (size_t s = 0; s < kPlayers; ++s) {
        const Stream& f = streams_[r][s];
        if (s == r) continue;
        text += Format(" from %zu %llu/%llu", s, f.received, static_cast<unsigned long long>(sent_[s].load()));
        if (f.missing || f.out_of_order)
          text += Format(" (missing %llu, out of order %llu)", f.missing, f.out_of_order);
      }
      text += "\n";
    }
    return text;
  }

 private:
  struct Stream {
    unsigned long long received = 0;
    unsigned long long missing = 0;       // numbers skipped over
    unsigned long long out_of_order = 0;  // numbers at or below one already seen: repeats and overtaken frames
    int64_t last = -1;
  };

  // Paced by the frame rate from a fixed start, so that a late tick does
  // not slow the rate down.
  void SendLoop(std::stop_token stop) {
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t n = 0; !stop.stop_requested(); ++n) {
      for (size_t p = 0; p < kPlayers; ++p) {
        if (!sending_[p].load()) continue;
        // Counted before the frame leaves: a receiver never sees a frame
        // that Sent does not count yet.
        const uint64_t number = sent_[p].fetch_add(1);
        dosbox_test::Bytes frame(kFrameBytes);
        frame[0] = 'G';
        frame[1] = static_cast<uint8_t>(p);
        for (size_t i = 0; i < 8; ++i) frame[2 + i] = static_cast<uint8_t>(number >> (8 * i));
        players_[p].Broadcast(frame);
      }
      std::this_thread::sleep_until(start + (n + 1) * std::chrono::microseconds(1'000'000 / kFramesPerSecond));
    }
  }
  void ReceiveLoop(std::stop_token stop) {
    std::array<pollfd, kPlayers> fds{};
    for (size_t i = 0; i < kPlayers; ++i) fds[i] = {players_[i].fd(), POLLIN, 0};
    while (!stop.stop_requested()) {
      if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
      for (size_t r = 0; r < kPlayers; ++r) {
        for (int i = 0; i < 64 && fds[r].revents != 0; ++i) {
          const dosbox_test::Bytes data = players_[r].Receive();
          if (data.empty()) break;
          Take(r, data);
        }
      }
    }
  }
  void Take(size_t receiver, std::span<const uint8_t> data) {
    if (data.size() != kFrameBytes || data[0] != 'G' || data[1] >= kPlayers) return;
    int64_t number = 0;
    for (size_t i = 0; i < 8; ++i) number |= static_cast<int64_t>(data[2 + i]) << (8 * i);
    std::lock_guard lock(mutex_);
    Stream& stream = streams_[receiver][data[1]];
    ++stream.received;
    if (number <= stream.last) {
      ++stream.out_of_order;
      return;
    }
    stream.missing += static_cast<uint64_t>(number - stream.last - 1);
    stream.last = number;
  }
  // exact: also nothing missing, repeated or overtaken.
  bool Check(bool exact) const {
    std::lock_guard lock(mutex_);
    for (size_t r = 0; r < kPlayers; ++r) {
      for (size_t s = 0; s < kPlayers && listening_[r]; ++s) {
        const Stream& f = streams_[r][s];
        const uint64_t sent = sent_[s].load();
        if (s != r && (exact ? f.missing != 0 || f.out_of_order != 0 || f.received != sent
                             : f.last + 1 < static_cast<int64_t>(sent)))
          return false;
      }
    }
    return true;
  }

  std::array<FakeDosbox, kPlayers>& players_;
  std::array<std::atomic<uint64_t>, kPlayers> sent_{};
  std::array<std::atomic<bool>, kPlayers> sending_{};
  std::array<std::atomic<bool>, kPlayers> listening_{};
  mutable std::mutex mutex_;
  std::array<std::array<Stream, kPlayers>, kPlayers> streams_{};
  // Last: they end before what they use.
  std::jthread sender_;
  std::jthread receiver_;
};

class GameSoak : public ::testing::Test {
 protected:
  // Player 0 hosts (its own player takes the host's first entry); the
  // others connect to it. Protected copies on every link: still each frame
  // exactly once.
  void StartPlayers() {
    const uint16_t host_port = FreeUdpPort();
    for (size_t i = 0; i < kPlayers; ++i) {
      const uint16_t dosbox_port = FreeUdpPort();
      nodes_[i] = std::make_unique<ChildProcess>(
          VorndCommand(dir_, "player" + std::to_string(i), i == 0 ? host_port : FreeUdpPort(),
                       {"--dosbox-port", std::to_string(dosbox_port), "--loss-protection", "always",
                        i == 0 ? "--server" : "127.0.0.1:" + std::to_string(host_port)}));
      ASSERT_TRUE(nodes_[i]->WaitForOutput("Connected to server.", kStartLimit)) << nodes_[i]->Tail();
      ASSERT_TRUE(players_[i].Register(dosbox_port)) << "player " << i;
    }
  }
  void StopNodes(size_t count) {
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(nodes_[i]->Stop(SIGINT), 0) << nodes_[i]->Tail();
  }

  TempDir dir_;
  std::array<std::unique_ptr<ChildProcess>, kPlayers> nodes_;
  std::array<FakeDosbox, kPlayers> players_;
};

TEST_F(GameSoak, FourPlayersLoseNoFrameAndHoldTheirMemoryFlat) {
  const int seconds = std::max(SoakSeconds(kShortFormSeconds), kWarmUpSeconds + 1);
  ASSERT_NO_FATAL_FAILURE(StartPlayers());
  GameTraffic game(players_);
  std::array<int64_t, kPlayers> rss_start{}, rss_end{};
  std::this_thread::sleep_for(std::chrono::seconds(kWarmUpSeconds));  // the game runs meanwhile
  for (size_t i = 0; i < kPlayers; ++i) rss_start[i] = ResidentKiB(nodes_[i]->pid());
  std::this_thread::sleep_for(std::chrono::seconds(seconds - kWarmUpSeconds));
  for (size_t i = 0; i < kPlayers; ++i) game.StopSending(i);
  EXPECT_TRUE(game.WaitDelivered(kDeliveryLimit)) << game.Report();
  for (size_t i = 0; i < kPlayers; ++i) rss_end[i] = ResidentKiB(nodes_[i]->pid());
  game.StopAll();

  std::printf("[soak] game: 4 players, %d frames/s each, %d s\n%s", kFramesPerSecond, seconds, game.Report().c_str());
  for (size_t i = 0; i < kPlayers; ++i) {
    std::printf("[soak]   player%zu VmRSS after %d s %lld KiB, at the end %lld KiB (%+lld KiB)\n", i, kWarmUpSeconds,
                static_cast<long long>(rss_start[i]), static_cast<long long>(rss_end[i]),
                static_cast<long long>(rss_end[i] - rss_start[i]));
    ASSERT_GT(rss_start[i], 0);
    EXPECT_LE(std::llabs(rss_end[i] - rss_start[i]), kMaxGrowthKiB) << "player " << i;
    EXPECT_GT(game.Sent(i), uint64_t(kFramesPerSecond) * (seconds - 1));
  }
  std::fflush(stdout);
  EXPECT_TRUE(game.Clean()) << game.Report();
  StopNodes(kPlayers);
}

// The host forgets a player that went silent after a minute without a
// message from it; the others play on without losing a frame.
TEST_F(GameSoak, APlayerThatVanishesIsDroppedAfterAMinuteAndTheOthersPlayOn) {
  constexpr size_t kGone = 3;
  ASSERT_NO_FATAL_FAILURE(StartPlayers());
  GameTraffic game(players_);
  std::this_thread::sleep_for(std::chrono::seconds(kWarmUpSeconds));
  // Its DOSBox falls silent first, so that every frame it sent is still
  // owed to the others; then its node freezes.
  game.StopSending(kGone);
  ASSERT_TRUE(game.WaitDelivered(kDeliveryLimit)) << game.Report();
  game.StopListening(kGone);
  ASSERT_TRUE(nodes_[kGone]->Signal(SIGSTOP));
  const auto frozen = std::chrono::steady_clock::now();
  const bool dropped = nodes_[0]->WaitForOutput("### player3 (127.0.0.1) has been disconnected (ping timeout).", 90s);
  const double after_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - frozen).count();
  ASSERT_TRUE(dropped) << nodes_[0]->Tail();
  std::this_thread::sleep_for(5s);  // the three play on after the drop
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
