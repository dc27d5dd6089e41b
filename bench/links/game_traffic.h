#pragma once
// Four stand-ins for DOSBox, one per node, that play like a game: 35 ticks a
// second, a broadcast every tick, and every third tick also a frame directed
// to one other player in turn (to the IPX node its broadcasts came from).
// Each frame carries its sender, its number and its send time on the steady
// clock, so the receivers count what arrived, how late and how often.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/peer_address.h"
#include "platform/udp_socket.h"

namespace vorn::gamebench {

inline constexpr size_t kPlayers = 4;  // player 0 is the host's own
inline constexpr double kLateMs = 50;

struct TrafficPlan {
  std::chrono::milliseconds warmup{5000};  // frames sent there are not counted
  std::chrono::milliseconds measured{20000};
  std::chrono::milliseconds drain{2000};  // listening on after the last frame
  int ticks_per_second = 35;
  int directed_every = 3;
  // The link's own delay of one impaired hop: the host's player is one hop
  // from each other player, two players are two hops apart.
  double hop_delay_ms = 0;
};

struct TrafficFigures {
  uint64_t frames_sent = 0;  // counted frames, broadcasts and directed ones
  uint64_t expected = 0;     // deliveries they ask for: three per broadcast
  uint64_t delivered = 0;    // first arrivals at a game they were meant for
  uint64_t broadcasts_expected = 0;
  uint64_t broadcasts_delivered = 0;
  uint64_t late = 0;         // of the delivered: more than kLateMs past the own delay
  uint64_t repeats = 0;      // arrivals of a frame the game already had
  uint64_t misdirected = 0;  // directed frames at a game they were not for
  double added_p50_ms = 0;   // arrival past the link's own delay
  double added_p99_ms = 0;
};

class GameTraffic {
 public:
  // Registers one client with each node's DOSBox driver on 127.0.0.1;
  // false with the reason in error.
  bool Register(const std::array<uint16_t, kPlayers>& driver_ports, std::string& error);
  // Plays the plan on the calling thread and returns when the drain has
  // passed. on_measuring runs once, when the counted frames begin.
  TrafficFigures Play(const TrafficPlan& plan, const std::function<void()>& on_measuring);

 private:
  struct Client {
    UdpSocket socket;
    PeerAddress driver;
    PeerAddress node;                         // its own IPX node
    std::array<PeerAddress, kPlayers> peers;  // nodes learned from their frames
  };
  struct SentFrame {
    uint8_t target = 0;  // kBroadcastTarget or a player
    bool counted = false;
  };
  static constexpr uint8_t kBroadcastTarget = 0xFF;

  // A broadcast, and on every directed_every-th tick a directed frame.
  void Tick(size_t sender, int64_t tick, bool counted, int directed_every);
  void Send(size_t sender, uint8_t target, bool counted);
  void ReceiveWaiting(size_t receiver, double hop_delay_ms);
  void Note(size_t receiver, size_t sender, uint32_t number, int64_t sent_ns, double hop_delay_ms);
  TrafficFigures Figures();

  std::array<Client, kPlayers> clients_;
  std::array<std::vector<SentFrame>, kPlayers> sent_;
  // [receiver][sender][frame number]: how often it arrived.
  std::array<std::array<std::vector<uint8_t>, kPlayers>, kPlayers> arrivals_;
  std::vector<double> added_ms_;
  TrafficFigures figures_;
};

}  // namespace vorn::gamebench
