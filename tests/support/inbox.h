#pragma once
// What a dispatcher's handlers saw, filled on the receive thread, for a test
// to wait for (bounded in real time).
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "net/dispatch.h"
#include "support/fake_client.h"

namespace vorn {

class Inbox {
 public:
  DatagramHandler Handler() {
    return [this](std::span<const uint8_t> datagram, PeerAddress source) {
      std::lock_guard lock(mutex_);
      items_.push_back({{datagram.begin(), datagram.end()}, source});
      changed_.notify_all();
    };
  }
  // Waits until count items arrived and returns them all.
  std::vector<Datagram> WaitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [&] { return items_.size() >= count; });
    return items_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Datagram> items_;
};

}  // namespace vorn
