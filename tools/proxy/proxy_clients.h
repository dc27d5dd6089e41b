#pragma once
// The proxy's clients: each has an upstream socket of its own, so that the
// peers it talks to see one address per client and their answers find the
// way back, as through a NAT.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/peer_address.h"
#include "platform/udp_socket.h"

namespace vorn {

struct ProxyClient {
  PeerAddress address;  // as the proxy sees the client; ip 0: a free slot
  UdpSocket upstream;   // non-blocking, bound to the proxy's address
  int32_t last_active_ms = 0;

  bool in_use() const { return address.IsSet(); }
};

// A fixed number of slots, made when the proxy opens; a full table refuses.
class ProxyClientTable {
 public:
  ProxyClientTable() = default;
  ProxyClientTable(size_t capacity, uint32_t bind_ip) : slots_(capacity), bind_ip_(bind_ip) {}

  ProxyClient* Find(PeerAddress address);
  const ProxyClient* Find(PeerAddress address) const;
  // A new client in a free slot with a fresh upstream socket; nullptr when
  // the table is full or no socket could be made.
  ProxyClient* Add(PeerAddress address, int32_t now_ms);
  void Remove(ProxyClient& client);

  size_t size() const;
  size_t capacity() const { return slots_.size(); }
  bool full() const { return size() == capacity(); }
  std::vector<ProxyClient>& slots() { return slots_; }
  const std::vector<ProxyClient>& slots() const { return slots_; }

 private:
  std::vector<ProxyClient> slots_;
  uint32_t bind_ip_ = 0;
};

// Remembers the last few refused clients, so that a client that keeps
// trying is reported once rather than with every datagram.
class RefusedClients {
 public:
  // True the first time an address is seen (until it is pushed out).
  bool Note(PeerAddress address);
  void Forget(PeerAddress address);

 private:
  std::array<PeerAddress, 64> recent_{};
  size_t next_ = 0;
};

}  // namespace vorn
