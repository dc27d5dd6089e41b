#pragma once
// Keeps a manual clock in step with real loopback traffic. Every test node
// and fake peer of one test reports to one TrafficCounter: what was sent to
// a watched address, and what the watched receivers have handled. A node's
// clock waits in its sleep hook until the two agree, so an answer that a
// real sleep would have let arrive has arrived, and nothing rests on timing.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "net/udp_endpoint.h"
#include "platform/udp_socket.h"

namespace vorn {

class TrafficCounter final : public TrafficObserver {
 public:
  // Counts datagrams to this address from now on; its receiver must report
  // each one it handles.
  void Watch(PeerAddress address) {
    std::lock_guard lock(mutex_);
    watched_.push_back(address);
  }
  void OnSent(PeerAddress to) override {
    std::lock_guard lock(mutex_);
    for (PeerAddress w : watched_)
      if (w == to) ++sent_;
  }
  void OnDispatched() override {
    {
      std::lock_guard lock(mutex_);
      ++handled_;
    }
    changed_.notify_all();
  }
  // Bounded in real time: false when traffic was still missing at the end.
  bool WaitSettled(std::chrono::milliseconds limit = std::chrono::seconds(2)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return handled_ >= sent_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<PeerAddress> watched_;
  uint64_t sent_ = 0;
  uint64_t handled_ = 0;
};

// A plain socket on 127.0.0.1 that plays a server, tracker or proxy: its own
// thread reads every datagram, keeps a copy and lets the responder answer.
class FakePeer {
 public:
  using Responder = std::function<void(FakePeer& self, std::span<const uint8_t> datagram, PeerAddress from)>;

  explicit FakePeer(TrafficCounter& traffic, Responder responder = {})
      : traffic_(traffic), responder_(std::move(responder)) {
    bool ok = socket_.Open() && socket_.Bind(0x7F000001, 0) && socket_.SetNonBlocking();
    address_ = {0x7F000001, ok ? socket_.LocalPort() : uint16_t{0}};
    traffic_.Watch(address_);
    thread_ = std::thread([this] { ReadLoop(); });
  }
  ~FakePeer() {
    stop_.store(true);
    wake_.Raise();
    thread_.join();
  }
  FakePeer(const FakePeer&) = delete;
  FakePeer& operator=(const FakePeer&) = delete;

  PeerAddress address() const { return address_; }
  int Send(PeerAddress to, std::span<const uint8_t> data) {
    int sent = socket_.SendTo(to, data);
    if (sent >= 0) traffic_.OnSent(to);
    return sent;
  }
  std::vector<std::vector<uint8_t>> Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }
  // The received datagrams of one type, unwrapped when they came in a wrap.
  std::vector<std::vector<uint8_t>> ReceivedOfType(char type) const {
    std::vector<std::vector<uint8_t>> of_type;
    for (const auto& d : Received()) {
      size_t offset = d.size() > 11 && d[4] == 'P' ? 11 : 0;
      if (d.size() > offset + 4 && d[offset + 4] == static_cast<uint8_t>(type))
        of_type.emplace_back(d.begin() + static_cast<std::ptrdiff_t>(offset), d.end());
    }
    return of_type;
  }

 private:
  void ReadLoop() {
    std::vector<uint8_t> buffer(4096);
    while (!stop_.load()) {
      if (WaitReadable(socket_, wake_, 1000) != WaitResult::Readable) continue;
      PeerAddress from;
      bool truncated = false;
      int got = socket_.RecvFrom(buffer, from, truncated);
      if (got <= 0 || !from.IsSet()) continue;
      std::span<const uint8_t> datagram(buffer.data(), static_cast<size_t>(got));
      {
        std::lock_guard lock(mutex_);
        received_.emplace_back(datagram.begin(), datagram.end());
      }
      if (responder_) responder_(*this, datagram, from);
      traffic_.OnDispatched();
    }
  }

  TrafficCounter& traffic_;
  Responder responder_;
  UdpSocket socket_;
  WakeSignal wake_;
  PeerAddress address_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::vector<uint8_t>> received_;
  std::thread thread_;
};

}  // namespace vorn
