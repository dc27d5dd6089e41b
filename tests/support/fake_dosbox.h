#pragma once
// A stand-in for one DOSBox in front of a node's DOSBox driver: it registers
// and speaks the IPX tunnel protocol, and reads into a buffer of its own, so
// that a game's rate of packets costs no allocation.
#include <algorithm>
#include <array>
#include <span>

#include "platform/udp_socket.h"

namespace vorn {

class FakeDosbox {
 public:
  static constexpr size_t kIpxHeaderSize = 30;
  static constexpr uint16_t kGameSocket = 0x5A17;

  bool Register(uint16_t driver_port) {
    if (!socket_.Open() || !socket_.Bind(kLoopback, 0)) return false;
    socket_.SetBufferSizes(1 << 20);  // tests read in bursts
    driver_ = {kLoopback, driver_port};
    std::array<uint8_t, kIpxHeaderSize> request{};
    request[0] = request[1] = 0xFF;
    request[3] = kIpxHeaderSize;
    request[17] = request[29] = 0x02;  // the tunnel's registration socket
    socket_.SendTo(driver_, request);
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (WaitReadable(socket_, never_, 100) != WaitResult::Readable) continue;
      PeerAddress from;
      bool cut = false;
      const int n = socket_.RecvFrom(buffer_, from, cut);
      if (n < static_cast<int>(kIpxHeaderSize) || from != driver_) continue;
      std::copy(buffer_.begin() + 10, buffer_.begin() + 16, node_.begin());  // the node we were given
      return true;
    }
    return false;
  }
  // An IPX packet to every node, or to one node.
  void Broadcast(std::span<const uint8_t> data) const {
    SendTo(std::array<uint8_t, 6>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, data);
  }
  void SendTo(std::span<const uint8_t> node, std::span<const uint8_t> data) const {
    std::array<uint8_t, 2048> packet{};
    const size_t length = kIpxHeaderSize + std::min(data.size(), packet.size() - kIpxHeaderSize);
    packet[0] = packet[1] = 0xFF;
    packet[2] = static_cast<uint8_t>(length >> 8);
    packet[3] = static_cast<uint8_t>(length);
    packet[5] = 4;
    std::copy(node.begin(), node.begin() + 6, packet.begin() + 10);
    packet[16] = packet[28] = kGameSocket >> 8;
    packet[17] = packet[29] = kGameSocket & 0xFF;
    std::copy(node_.begin(), node_.end(), packet.begin() + 22);
    std::copy_n(data.begin(), length - kIpxHeaderSize, packet.begin() + kIpxHeaderSize);
    socket_.SendTo(driver_, std::span(packet).first(length));
  }
  // The data of the next IPX packet, waiting up to wait_ms; empty when none.
  // Packets too short to carry data are skipped.
  std::span<const uint8_t> Receive(int wait_ms) {
    if (WaitReadable(socket_, never_, wait_ms) != WaitResult::Readable) return {};
    PeerAddress from;
    bool cut = false;
    const int n = socket_.RecvFrom(buffer_, from, cut);
    if (n <= static_cast<int>(kIpxHeaderSize) || cut) return {};
    return std::span(buffer_).subspan(kIpxHeaderSize, static_cast<size_t>(n) - kIpxHeaderSize);
  }
  const UdpSocket& socket() const { return socket_; }
  std::span<const uint8_t> node() const { return node_; }

 private:
  static constexpr uint32_t kLoopback = 0x7F000001;

  UdpSocket socket_;
  WakeSignal never_;
  PeerAddress driver_;
  std::array<uint8_t, 6> node_{};
  std::array<uint8_t, 2048> buffer_{};
};

}  // namespace vorn
