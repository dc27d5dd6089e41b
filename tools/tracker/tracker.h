#pragma once
// vorn-tracker: answers clients' server list requests from a list file and
// tells a player who asks about another player, through that player's
// server, that it keeps no information about players.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "net/messages.h"
#include "platform/clock.h"
#include "platform/peer_address.h"
#include "platform/rate_limit.h"
#include "platform/udp_socket.h"
#include "tracker/server_list_file.h"

namespace vorn {

inline constexpr uint32_t kTrackerLoopback = 0x7F000001;
inline constexpr uint16_t kDefaultTrackerPort = 6666;

struct TrackerConfig {
  uint32_t bind_ip = kTrackerLoopback;  // host order; 0 listens on every interface
  uint16_t port = kDefaultTrackerPort;  // 0 picks a free port
  std::string list_path;                // empty: an empty list
};

class Tracker {
 public:
  // log gets one line per answered request, errors the list file's problems
  // and socket failures.
  Tracker(const Clock& clock, std::ostream& log, std::ostream& errors);
  Tracker(const Tracker&) = delete;
  Tracker& operator=(const Tracker&) = delete;

  // Binds the socket and reads the list; false after a line on errors.
  bool Open(const TrackerConfig& config);
  PeerAddress LocalAddress() const { return local_; }

  // Waits up to timeout for requests and answers every one waiting. Returns
  // false once stopped or when the socket failed.
  bool RunOnce(std::chrono::milliseconds timeout);
  // RunOnce until stopped.
  void Run();
  // Callable from any thread; the loop returns promptly.
  void Stop();

  // One received datagram; the source is as the socket reported it.
  void HandleDatagram(std::span<const uint8_t> datagram, PeerAddress from);

 private:
  void AnswerServerList(char type, PeerAddress from);
  void AnswerPlayerInfo(const ForwardedPlayerInfo& info, PeerAddress from);
  void LogLine(PeerAddress from, const std::string& what);
  bool DrainSocket();

  const Clock& clock_;
  std::ostream& log_;
  std::ostream& errors_;
  UdpSocket socket_;
  WakeSignal wake_;
  std::atomic<bool> stopped_{false};
  PeerAddress local_;
  std::optional<ServerListFile> list_;
  // A list is far larger than its request: a few to each asker (again
  // after ten quiet seconds), then no more bytes than it sends.
  SourceLimiter list_answers_{{8192, 10'000, {64, 50}}};
  std::array<uint8_t, kMaxDatagram> receive_buffer_{};
  std::array<uint8_t, kMaxDatagram> send_buffer_{};
};

}  // namespace vorn
