#pragma once
// What the soak tests share: their length, whole programs run as child
// processes (stopped by PID only), the memory a process holds, and a
// stand-in for DOSBox that plays a game over a node's DOSBox driver.
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

#include "platform/peer_address.h"
#include "platform/udp_socket.h"
#include "support/temp_dir.h"

namespace vorn::soak {

inline constexpr uint32_t kLoopback = 0x7F000001;

// VORN_SOAK_SECONDS when it holds a positive whole number (at most a day),
// else the short form's length.
int SoakSeconds(int short_form_seconds);

// A UDP port on 127.0.0.1 that was free a moment ago.
uint16_t FreeUdpPort();

// Resident memory of a process in KiB from /proc/PID/status; -1 when unknown.
int64_t ResidentKiB(pid_t pid);

// One of our programs as a child: its standard input is a pipe the test
// writes lines to, its output (both streams) is collected by a thread, so
// that a talkative program never blocks on a full pipe.
class Program {
 public:
  explicit Program(const std::vector<std::string>& argv);
  ~Program();  // kills the child by its PID if it still runs
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  bool TypeLine(std::string_view line);
  bool Signal(int signal);
  // Waits until the output holds needle count times, or the limit passes.
  bool WaitForOutput(std::string_view needle, std::chrono::milliseconds limit, size_t count = 1);
  size_t CountInOutput(std::string_view needle) const;
  std::string Output() const;
  // The last lines of the output, for failure messages.
  std::string Tail(size_t bytes = 3000) const;
  // Signals the child and waits (bounded) for its exit; the exit code, or
  // nullopt when it did not end in time or died of a signal.
  std::optional<int> Stop(int signal, std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  void ReadLoop(std::stop_token stop);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  bool reaped_ = false;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string output_;
  std::jthread reader_;
};

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
