#pragma once
// What the soak tests share: their length, the memory a process holds, the
// command line of a vornd, and a stand-in for DOSBox that plays a game over a node's DOSBox driver.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "integration/child_process.h"
#include "platform/peer_address.h"
#include "platform/udp_socket.h"
#include "support/temp_dir.h"

namespace vorn::soak {

inline constexpr uint32_t kLoopback = 0x7F000001;

// VORN_SOAK_SECONDS when it holds a positive whole number (at most a day),
// else the short form's length.
int SoakSeconds(int short_form_seconds);

// Resident memory of a process in KiB from /proc/PID/status; -1 when unknown.
int64_t ResidentKiB(pid_t pid);

// The soak tests' whole programs.
using Program = ChildProcess;

// The command line of a vornd on loopback with its own profile file.
std::vector<std::string> VorndCommand(const TempDir& dir, const std::string& nick, uint16_t port,
                                      const std::vector<std::string>& extra);

// A stand-in for one DOSBox: it registers with a node's DOSBox driver and
// speaks the IPX tunnel protocol.
class FakeDosbox {
 public:
  bool Register(uint16_t driver_port);
  // An IPX packet to every node, or to one node.
  void Broadcast(std::span<const uint8_t> data) const;
  void SendTo(std::span<const uint8_t> node, std::span<const uint8_t> data) const;
  // The data of the next IPX packet, waiting up to wait_ms; empty when none.
  // Packets too short to carry data are skipped.
  std::span<const uint8_t> Receive(int wait_ms);
  const UdpSocket& socket() const { return socket_; }
  std::span<const uint8_t> node() const { return node_; }

 private:
  void Send(std::span<const uint8_t> destination_node, std::span<const uint8_t> data) const;

  UdpSocket socket_;
  WakeSignal never_;
  PeerAddress driver_;
  std::array<uint8_t, 6> node_{};
  std::array<uint8_t, 2048> buffer_{};
};

}  // namespace vorn::soak
