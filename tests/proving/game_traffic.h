#pragma once
// Four players' game traffic at a game's frame rate: each player's DOSBox
// stand-in broadcasts a numbered frame every tick, and every frame that
// arrives is checked against the sender's numbering, so that a frame lost,
// repeated or overtaken end to end is counted.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "proving/soak_support.h"

namespace vorn::soak {

inline constexpr size_t kPlayers = 4;
inline constexpr int kFramesPerSecond = 35;

struct StreamFigures {
  uint64_t received = 0;
  uint64_t missing = 0;       // numbers skipped over
  uint64_t out_of_order = 0;  // numbers at or below one already seen: repeats and overtaken frames
  int64_t last = -1;
};

class GameTraffic {
 public:
  explicit GameTraffic(std::array<FakeDosbox, kPlayers>& players);
  ~GameTraffic();
  GameTraffic(const GameTraffic&) = delete;
  GameTraffic& operator=(const GameTraffic&) = delete;

  void Start();
  // The player sends no more frames; its stream ends with what it sent.
  void StopSending(size_t player);
  // The player's frames are no longer checked (its node is gone).
  void StopListening(size_t player);
  void StopAll();
  // Until every listening player holds every frame that each other sender
  // sent, or the limit passes.
  bool WaitDelivered(std::chrono::milliseconds limit);
  // No frame missing, repeated or overtaken between listeners and senders.
  bool Clean() const;
  uint64_t Sent(size_t player) const { return sent_[player].load(); }
  StreamFigures Stream(size_t receiver, size_t sender) const;
  // One line per receiver: frames from each sender, and any fault.
  std::string Report() const;

 private:
  void SendLoop(std::stop_token stop);
  void ReceiveLoop(std::stop_token stop);
  void Take(size_t receiver, std::span<const uint8_t> data);
  bool DeliveredLocked() const;

  std::array<FakeDosbox, kPlayers>& players_;
  std::array<std::atomic<uint64_t>, kPlayers> sent_{};
  std::array<std::atomic<bool>, kPlayers> sending_{};
  std::array<std::atomic<bool>, kPlayers> listening_{};
  mutable std::mutex mutex_;
  std::array<std::array<StreamFigures, kPlayers>, kPlayers> streams_{};
  std::jthread sender_;
  std::jthread receiver_;
};

}  // namespace vorn::soak
