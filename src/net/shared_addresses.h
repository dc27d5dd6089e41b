#pragma once
// The addresses that several threads read and one thread at a time writes:
// the own address, the proxy, the connected server and the tracker. Each is
// one 64-bit atomic word, so a reader never sees the address of one value
// with the port of another.
#include <atomic>
#include <cstdint>

#include "platform/peer_address.h"

namespace vorn {

class AtomicPeerAddress {
 public:
  PeerAddress Load() const {
    uint64_t word = word_.load(std::memory_order_acquire);
    return {static_cast<uint32_t>(word >> 16), static_cast<uint16_t>(word & 0xFFFF)};
  }
  void Store(PeerAddress peer) { word_.store(uint64_t{peer.ip} << 16 | peer.port, std::memory_order_release); }
  void Clear() { Store({}); }

 private:
  std::atomic<uint64_t> word_{0};
};

struct SharedAddresses {
  AtomicPeerAddress local;    // LocalAddress: this machine as the network sees it
  AtomicPeerAddress proxy;    // ProxyAddress: address 0 = no proxy
  AtomicPeerAddress server;   // ServerAddress: address 0 = not connected
  AtomicPeerAddress tracker;  // TrackerAddress: address 0 = no tracker
};

}  // namespace vorn
