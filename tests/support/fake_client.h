#pragma once
// A player, tracker, server, proxy or game played by the test itself: a plain
// UDP socket on a 127.x address that sends what the test builds and hands
// over what arrives, waiting a bounded real time for it.
#include <sys/socket.h>

#include <algorithm>
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

// One datagram and its sender.
struct Datagram {
  std::vector<uint8_t> bytes;
  PeerAddress from;
};

class FakeClient {
 public:
  static constexpr uint32_t kLoopback = 0x7F000001;

  // shared: SO_REUSEADDR, as a game sets it to share its port.
  explicit FakeClient(uint16_t port = 0, uint32_t ip = kLoopback, bool shared = false) : ip_(ip) {
    int one = 1;
    bound_ = socket_.Open() &&
             (!shared || ::setsockopt(socket_.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0) &&
             socket_.Bind(ip, port) && socket_.SetNonBlocking();
  }
  bool bound() const { return bound_; }
  PeerAddress address() const { return {ip_, socket_.LocalPort()}; }
  const UdpSocket& socket() const { return socket_; }

  void Send(PeerAddress to, std::span<const uint8_t> datagram) const { socket_.SendTo(to, datagram); }
  void Send(PeerAddress to, std::string_view text) const {
    Send(to, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  }
  // Wraps data as a client with a proxy set sends it: "VORNP", destination, data.
  void SendWrapped(PeerAddress proxy, PeerAddress destination, std::span<const uint8_t> data) const {
    std::vector<uint8_t> wrap(kWrapHeaderSize + data.size());
    wrap.resize(BuildProxyWrap(wrap, {destination, data}));
    Send(proxy, wrap);
  }
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

  // The next datagram and its sender, waiting up to wait_ms for it.
  std::optional<Datagram> ReceiveFrom(int wait_ms = 5000) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    Datagram got{std::vector<uint8_t>(4096), {}};
    for (;;) {
      bool truncated = false;
      const int size = socket_.RecvFrom(got.bytes, got.from, truncated);  // 0: nothing waits
      if (size < 0) return std::nullopt;
      if (size > 0) {
        got.bytes.resize(std::min(static_cast<size_t>(size), got.bytes.size()));
        return got;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || WaitReadable(socket_, wake_, static_cast<int>(left.count())) == WaitResult::TimedOut)
        return std::nullopt;
    }
  }
  // The next datagram; empty when none arrived within the limit.
  std::vector<uint8_t> Receive(std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
    std::optional<Datagram> got = ReceiveFrom(static_cast<int>(limit.count()));
    return got ? std::move(got->bytes) : std::vector<uint8_t>{};
  }
  // Nothing arrives for a while: long enough for loopback, short enough to
  // keep the suites quick.
  bool Quiet() const { return !ReceiveFrom(200).has_value(); }
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
  uint32_t ip_;
  UdpSocket socket_;
  WakeSignal wake_;
  bool bound_ = false;
};

}  // namespace vorn
