#pragma once
// vorn-impair: a UDP relay that makes a loopback link as bad as the
// Internet can be. It listens on 127.0.0.1, sends each client's datagrams
// on to one target from an upstream socket of that client's own (so the
// target sees several clients as distinct peers), and sends what the target
// answers on that socket back to the client. On the way, in each direction,
// it drops, duplicates, reorders and delays datagrams at configured rates.
#include <poll.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "impair/delay_queue.h"
#include "impair/impairment.h"
#include "platform/clock.h"
#include "platform/peer_address.h"
#include "platform/udp_socket.h"

namespace vorn {

inline constexpr uint32_t kRelayLoopback = 0x7F000001;
inline constexpr size_t kMaxRelayClients = 256;  // one descriptor each
inline constexpr size_t kMaxDelayedDatagrams = 4096;

// A test tool: it talks to this machine only.
inline bool IsLoopbackAddress(uint32_t ip) { return (ip >> 24) == 127; }

struct RelayConfig {
  uint16_t listen_port = 0;                // on 127.0.0.1; 0 picks a free port
  PeerAddress target;                      // must be in 127.0.0.0/8
  std::array<ImpairmentRates, 2> rates{};  // indexed by RelayDirection
  uint64_t seed = 1;
  size_t max_clients = 16;     // 1 to kMaxRelayClients
  size_t max_delayed = 256;    // 1 to kMaxDelayedDatagrams
  int32_t idle_seconds = 300;  // a client silent this long is forgotten
  // A held-back datagram that no other follows leaves after this, so that
  // reordering never turns into loss.
  int32_t max_hold_ms = 200;
};

struct DirectionCounters {
  uint64_t received = 0;
  uint64_t sent = 0;            // copies handed to the socket
  uint64_t dropped = 0;         // by the drop rate
  uint64_t duplicated = 0;      // datagrams sent twice
  uint64_t reordered = 0;       // datagrams held back behind a later one
  uint64_t delayed = 0;         // copies that waited in the queue
  uint64_t queue_full = 0;      // copies lost because the queue was full
  uint64_t bytes_received = 0;  // UDP payload bytes, as the nodes sent them
  uint64_t bytes_sent = 0;      // and as they left the relay
};

struct RelayCounters {
  std::array<DirectionCounters, 2> directions{};
  uint64_t clients_admitted = 0;
  uint64_t clients_refused = 0;  // datagrams from clients beyond the limit
  uint64_t foreign = 0;          // datagrams on an upstream socket not from the target
  uint64_t oversize = 0;         // datagrams longer than kMaxRelayDatagram

  const DirectionCounters& operator[](RelayDirection d) const { return directions[static_cast<size_t>(d)]; }
  DirectionCounters& operator[](RelayDirection d) { return directions[static_cast<size_t>(d)]; }
};

// Checks a configuration; an empty text when it is usable.
std::string CheckRelayConfig(const RelayConfig& config);

class ImpairingRelay {
 public:
  explicit ImpairingRelay(const Clock& clock) : clock_(clock) {}
  ImpairingRelay(const ImpairingRelay&) = delete;
  ImpairingRelay& operator=(const ImpairingRelay&) = delete;

  // Binds the listening socket; false with a reason in error.
  bool Open(const RelayConfig& config, std::string& error);
  PeerAddress LocalAddress() const { return {kRelayLoopback, listen_port_}; }

  // Sends what is due, forgets idle clients, waits up to timeout for
  // datagrams and handles every one waiting. False once stopped.
  bool RunOnce(std::chrono::milliseconds timeout);
  void Run();
  // Callable from any thread; the loop returns promptly.
  void Stop();

  // Callable from any thread while the loop runs.
  void SetRates(RelayDirection direction, const ImpairmentRates& rates);
  RelayCounters Counters() const;
  size_t ClientCount() const { return client_count_.load(std::memory_order_acquire); }

 private:
  struct Held {
    bool in_use = false;
    int32_t since_ms = 0;
    size_t length = 0;
    std::array<uint8_t, kMaxRelayDatagram> bytes{};
  };
  struct Client {
    PeerAddress address;  // ip 0: a free slot
    UdpSocket upstream;
    int32_t last_active_ms = 0;
    std::array<Held, 2> held{};
  };

  void ExpireIdleClients(int32_t now_ms);
  void FlushDue(int32_t now_ms);
  int WaitLimitMs(std::chrono::milliseconds timeout, int32_t now_ms) const;
  void BuildPollSet();
  void DrainListener();
  void DrainUpstream(size_t client);
  size_t FindOrAdmit(PeerAddress from);
  void Impair(size_t client, RelayDirection direction, std::span<const uint8_t> data);
  void Emit(size_t client, RelayDirection direction, std::span<const uint8_t> data, const ImpairDecision& decision);
  void Schedule(size_t client, RelayDirection direction, std::span<const uint8_t> data, int32_t delay_ms);
  void SendNow(size_t client, RelayDirection direction, std::span<const uint8_t> data);

  const Clock& clock_;
  RelayConfig config_;
  UdpSocket listener_;
  WakeSignal wake_;
  uint16_t listen_port_ = 0;
  std::atomic<bool> stopped_{false};
  std::atomic<size_t> client_count_{0};
  std::vector<Client> clients_;
  DelayQueue queue_;
  // Guards what other threads may touch: the rates (inside the impairers)
  // and the counters.
  mutable std::mutex shared_mutex_;
  std::array<Impairer, 2> impairers_{Impairer(0, {}), Impairer(0, {})};
  RelayCounters counters_;
  // Reserved once, so a loop pass does not allocate.
  std::vector<pollfd> poll_fds_;
  std::vector<size_t> poll_clients_;
  std::array<uint8_t, kMaxRelayDatagram> receive_buffer_{};
};

}  // namespace vorn
