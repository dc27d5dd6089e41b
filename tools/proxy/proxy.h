#pragma once
// vorn-proxy: lets clients that cannot be reached directly take part. A
// client wraps every datagram with its destination; the proxy sends the
// inner datagram on from an upstream socket of that client's own and hands
// whatever arrives there back to the client, wrapped with its sender.
#include <poll.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "net/messages.h"
#include "platform/clock.h"
#include "platform/peer_address.h"
#include "platform/udp_socket.h"
#include "proxy/proxy_clients.h"

namespace vorn {

inline constexpr uint32_t kProxyLoopback = 0x7F000001;
inline constexpr uint16_t kDefaultProxyPort = 3213;
// The largest datagram a client sends: a relayed frame, wrapped again for
// the proxy.
inline constexpr size_t kLargestClientDatagram = kMaxDatagram + 2 * kWrapHeaderSize;
inline constexpr int32_t kMaxIdleSeconds = 86'400;
inline constexpr size_t kMaxProxyClients = 512;  // one descriptor each
// Players behind one NAT share an address; more than this from one is a
// flood taking the slots of everybody else.
inline constexpr size_t kMaxSlotsPerAddress = 16;

struct ProxyConfig {
  uint32_t bind_ip = kProxyLoopback;  // host order; 0 listens on every interface
  uint16_t port = kDefaultProxyPort;  // 0 picks a free port
  int32_t idle_seconds = 120;         // 1 to kMaxIdleSeconds
  size_t max_clients = 64;            // 1 to kMaxProxyClients
};

class Proxy {
 public:
  // log gets a line when a client comes, greets, is refused or forgotten
  // (never one per forwarded datagram); errors gets socket failures.
  Proxy(const Clock& clock, std::ostream& log, std::ostream& errors);
  Proxy(const Proxy&) = delete;
  Proxy& operator=(const Proxy&) = delete;

  // Binds the client-facing socket; false after a line on errors.
  bool Open(const ProxyConfig& config);
  PeerAddress LocalAddress() const { return local_; }

  // Forgets idle clients, then waits up to timeout for datagrams and
  // handles every one waiting. Returns false once stopped or when the
  // client-facing socket failed.
  bool RunOnce(std::chrono::milliseconds timeout);
  // RunOnce until stopped.
  void Run();
  // Callable from any thread; the loop returns promptly.
  void Stop();

  // For the loop's own thread (and tests driving it).
  size_t ClientCount() const { return clients_.size(); }
  // The port from which a client's datagrams leave; 0 for an unknown client.
  uint16_t UpstreamPort(PeerAddress client) const;

 private:
  void ExpireIdleClients();
  void BuildPollSet();
  bool DrainClientSocket();
  void DrainUpstream(ProxyClient& client);
  void HandleClientDatagram(std::span<const uint8_t> datagram, PeerAddress from);
  void Welcome(PeerAddress from);
  ProxyClient* FindOrAdmit(PeerAddress from);
  bool IsOwnAddress(PeerAddress address) const;
  size_t SlotsOf(uint32_t ip) const;
  void LogLine(PeerAddress client, const std::string& what);

  const Clock& clock_;
  std::ostream& log_;
  std::ostream& errors_;
  ProxyConfig config_;
  UdpSocket socket_;
  WakeSignal wake_;
  std::atomic<bool> stopped_{false};
  PeerAddress local_;
  uint32_t upstream_ip_ = kProxyLoopback;  // what peers see of the upstream sockets
  ProxyClientTable clients_;
  RefusedClients refused_;
  // Reserved once for every socket, so a loop pass does not allocate.
  std::vector<pollfd> poll_fds_;
  std::vector<ProxyClient*> poll_clients_;  // the client of each upstream entry
  std::array<uint8_t, kLargestClientDatagram> receive_buffer_{};
  std::array<uint8_t, kLargestClientDatagram> send_buffer_{};
};

}  // namespace vorn
