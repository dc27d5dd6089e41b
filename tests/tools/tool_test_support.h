#pragma once
// Plain sockets on 127.0.0.1 that stand in for clients, servers and peers
// of the stand-alone tools, read with bounded waits.
#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "net/messages.h"
#include "platform/udp_socket.h"

namespace vorn::tooltest {

inline constexpr uint32_t kLoopback = 0x7F000001;
inline constexpr int kWaitMs = 5000;
// For "nothing arrives": long enough for loopback, short enough to keep
// the suite quick.
inline constexpr int kQuietMs = 200;

inline std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

struct Datagram {
  std::vector<uint8_t> bytes;
  PeerAddress from;
};

class TestPeer {
 public:
  TestPeer() { EXPECT_TRUE(socket_.Open() && socket_.Bind(kLoopback, 0) && socket_.SetNonBlocking()); }
  PeerAddress Address() const { return {kLoopback, socket_.LocalPort()}; }

  void Send(PeerAddress to, std::span<const uint8_t> data) const {
    EXPECT_EQ(socket_.SendTo(to, data), static_cast<int>(data.size()));
  }
  void Send(PeerAddress to, std::string_view text) const { Send(to, Bytes(text)); }
  // Wraps data for a proxy as a client does: "VORNP", destination, data.
  void SendWrapped(PeerAddress proxy, PeerAddress destination, std::span<const uint8_t> data) const {
    std::vector<uint8_t> wrap(kWrapHeaderSize + data.size());
    ASSERT_EQ(BuildProxyWrap(wrap, {destination, data}), wrap.size());
    Send(proxy, wrap);
  }

  std::optional<Datagram> Receive(int wait_ms = kWaitMs) const {
    if (WaitReadable(socket_, wake_, wait_ms) != WaitResult::Readable) return std::nullopt;
    Datagram got{std::vector<uint8_t>(4096), {}};
    bool truncated = false;
    int size = socket_.RecvFrom(got.bytes, got.from, truncated);
    if (size <= 0) return std::nullopt;
    got.bytes.resize(static_cast<size_t>(size));
    return got;
  }
  bool Quiet() const { return !Receive(kQuietMs).has_value(); }

 private:
  UdpSocket socket_;
  WakeSignal wake_;
};

}  // namespace vorn::tooltest
