#pragma once
// A player, tracker or server played by the test itself: a plain UDP socket
// on 127.0.0.1 that sends what the test builds and hands over what arrives,
// waiting a bounded real time for it.
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net/messages.h"
#include "platform/udp_socket.h"

namespace vorn {

class FakeClient {
 public:
  static constexpr uint32_t kLoopback = 0x7F000001;

  explicit FakeClient(uint16_t port = 0) {
    bound_ = socket_.Open() && socket_.Bind(kLoopback, port) && socket_.SetNonBlocking();
  }
  bool bound() const { return bound_; }
  PeerAddress address() const { return {kLoopback, socket_.LocalPort()}; }

  void Send(PeerAddress to, std::span<const uint8_t> datagram) const { socket_.SendTo(to, datagram); }
  void SendFrameOnly(PeerAddress to, char type) const {
    std::array<uint8_t, kFrameSize> frame{};
    Send(to, std::span(frame).first(BuildFrameOnly(frame, type)));
  }
  void SendHello(PeerAddress to, std::string_view nickname, std::string_view version = kProtocolVersion) const {
    const std::string email = std::string(nickname) + "@example.org";
    const std::string real_name = std::string(nickname) + " Tester";
    std::array<uint8_t, kHelloSize> hello{};
    const HelloRecord record{nickname, email, real_name, "", version};
    Send(to, std::span(hello).first(BuildHello(hello, record)));
  }

  // The next datagram; empty when none arrived within the limit.
  std::vector<uint8_t> Receive(std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::array<uint8_t, 4096> buffer{};
    for (;;) {
      PeerAddress from;
      bool truncated = false;
      const int got = socket_.RecvFrom(buffer, from, truncated);
      if (got > 0) return {buffer.begin(), buffer.begin() + got};
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || WaitReadable(socket_, wake_, static_cast<int>(left.count())) == WaitResult::TimedOut)
        return {};
    }
  }
  // The type byte of the next datagram, 0 when none came.
  char ReceiveType() const {
    std::vector<uint8_t> datagram = Receive();
    return datagram.size() >= kFrameSize ? static_cast<char>(datagram[kTypeOffset]) : 0;
  }
  // Sends a query that is always answered and waits for its answer: the
  // server has then handled everything this client sent before, and any
  // datagram it sent to this client before the answer has been read.
  // Returns what arrived before the answer; nullopt when none came.
  std::optional<std::vector<std::vector<uint8_t>>> Sync(PeerAddress server) const {
    SendFrameOnly(server, kTypeMotdRequest);
    std::vector<std::vector<uint8_t>> before;
    for (std::vector<uint8_t> d = Receive(); !d.empty(); d = Receive()) {
      if (d.size() == 14 && d[kTypeOffset] == kTypeTextLine) return before;
      before.push_back(std::move(d));
    }
    return std::nullopt;
  }

 private:
  UdpSocket socket_;
  WakeSignal wake_;
  bool bound_ = false;
};

}  // namespace vorn
