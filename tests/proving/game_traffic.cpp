#include "proving/game_traffic.h"

#include <poll.h>

#include <array>

#include "platform/text.h"

namespace vorn::soak {
namespace {

// A frame: 'G', the sender's index, its number (8 bytes, little-endian),
// and filler to the size of a typical game frame.
constexpr size_t kFrameBytes = 64;
constexpr uint8_t kMark = 'G';

std::array<uint8_t, kFrameBytes> BuildFrame(size_t sender, uint64_t number) {
  std::array<uint8_t, kFrameBytes> frame{};
  frame[0] = kMark;
  frame[1] = static_cast<uint8_t>(sender);
  for (size_t i = 0; i < 8; ++i) frame[2 + i] = static_cast<uint8_t>(number >> (8 * i));
  for (size_t i = 10; i < kFrameBytes; ++i) frame[i] = static_cast<uint8_t>(number + i);
  return frame;
}

}  // namespace

GameTraffic::GameTraffic(std::array<FakeDosbox, kPlayers>& players) : players_(players) {
  for (size_t i = 0; i < kPlayers; ++i) {
    sending_[i] = true;
    listening_[i] = true;
  }
}

GameTraffic::~GameTraffic() { StopAll(); }

void GameTraffic::Start() {
  receiver_ = std::jthread([this](std::stop_token stop) { ReceiveLoop(stop); });
  sender_ = std::jthread([this](std::stop_token stop) { SendLoop(stop); });
}

void GameTraffic::StopSending(size_t player) { sending_[player] = false; }

void GameTraffic::StopListening(size_t player) { listening_[player] = false; }

void GameTraffic::StopAll() {
  for (auto& sending : sending_) sending = false;
  if (sender_.joinable()) {
    sender_.request_stop();
    sender_.join();
  }
  if (receiver_.joinable()) {
    receiver_.request_stop();
    receiver_.join();
  }
}

// Paced by the frame rate: a tick every 1/35 s, from a fixed start, so that
// a late tick does not slow the rate down.
void GameTraffic::SendLoop(std::stop_token stop) {
  auto tick = std::chrono::duration<double>(1.0 / kFramesPerSecond);
  auto start = std::chrono::steady_clock::now();
  for (uint64_t n = 0; !stop.stop_requested(); ++n) {
    for (size_t p = 0; p < kPlayers; ++p) {
      if (!sending_[p].load()) continue;
      // The number is taken before the frame leaves, so that a receiver
      // never sees a frame that Sent does not count yet.
      uint64_t number = sent_[p].fetch_add(1);
      players_[p].Broadcast(BuildFrame(p, number));
    }
    std::this_thread::sleep_until(start +
                                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(tick * (n + 1)));
  }
}

void GameTraffic::ReceiveLoop(std::stop_token stop) {
  std::array<pollfd, kPlayers> fds{};
  for (size_t i = 0; i < kPlayers; ++i) fds[i] = {players_[i].socket().fd(), POLLIN, 0};
  while (!stop.stop_requested()) {
    if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
    for (size_t r = 0; r < kPlayers; ++r) {
      if (fds[r].revents == 0) continue;
      for (int i = 0; i < 64; ++i) {
        pollfd one{fds[r].fd, POLLIN, 0};
        if (::poll(&one, 1, 0) <= 0) break;
        std::span<const uint8_t> data = players_[r].Receive(0);
        if (!data.empty()) Take(r, data);
      }
    }
  }
}

void GameTraffic::Take(size_t receiver, std::span<const uint8_t> data) {
  if (data.size() != kFrameBytes || data[0] != kMark || data[1] >= kPlayers) return;
  size_t sender = data[1];
  int64_t number = 0;
  for (size_t i = 0; i < 8; ++i) number |= static_cast<int64_t>(data[2 + i]) << (8 * i);
  std::lock_guard lock(mutex_);
  StreamFigures& stream = streams_[receiver][sender];
  ++stream.received;
  if (number <= stream.last) {
    ++stream.out_of_order;
    return;
  }
  stream.missing += static_cast<uint64_t>(number - stream.last - 1);
  stream.last = number;
}

bool GameTraffic::DeliveredLocked() const {
  for (size_t r = 0; r < kPlayers; ++r) {
    if (!listening_[r]) continue;
    for (size_t s = 0; s < kPlayers; ++s)
      if (s != r && streams_[r][s].last + 1 < static_cast<int64_t>(sent_[s].load())) return false;
  }
  return true;
}

bool GameTraffic::WaitDelivered(std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard lock(mutex_);
      if (DeliveredLocked()) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling counters the receiver thread fills
  }
  std::lock_guard lock(mutex_);
  return DeliveredLocked();
}

bool GameTraffic::Clean() const {
  std::lock_guard lock(mutex_);
  for (size_t r = 0; r < kPlayers; ++r) {
    if (!listening_[r]) continue;
    for (size_t s = 0; s < kPlayers; ++s) {
      const StreamFigures& f = streams_[r][s];
      if (s == r) continue;
      if (f.missing != 0 || f.out_of_order != 0 || f.received != sent_[s].load()) return false;
    }
  }
  return true;
}

StreamFigures GameTraffic::Stream(size_t receiver, size_t sender) const {
  std::lock_guard lock(mutex_);
  return streams_[receiver][sender];
}

std::string GameTraffic::Report() const {
  std::lock_guard lock(mutex_);
  std::string text;
  for (size_t r = 0; r < kPlayers; ++r) {
    text += Format("[soak]   player%zu%s received:", r, listening_[r] ? "" : " (gone)");
    for (size_t s = 0; s < kPlayers; ++s) {
      if (s == r) continue;
      const StreamFigures& f = streams_[r][s];
      text += Format(" from %zu %llu/%llu", s, static_cast<unsigned long long>(f.received),
                     static_cast<unsigned long long>(sent_[s].load()));
      if (f.missing || f.out_of_order)
        text += Format(" (missing %llu, out of order %llu)", static_cast<unsigned long long>(f.missing),
                       static_cast<unsigned long long>(f.out_of_order));
    }
    text += "\n";
  }
  return text;
}

}  // namespace vorn::soak
