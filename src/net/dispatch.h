#pragma once
// DispatchDatagram: the one switch on the type byte, the same in every role.
// Handlers are registered before the receive thread starts and never change
// while it runs.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/peer_address.h"

namespace vorn {

using DatagramHandler = std::function<void(std::span<const uint8_t> datagram, PeerAddress source)>;

// Receives the DirectPlay presence probes while the bridge runs.
class ProbeSink {
 public:
  virtual ~ProbeSink() = default;
  // is_answer: "vmech" (an answer to our probe) rather than "VMECH".
  virtual void OnProbe(std::span<const uint8_t> datagram, PeerAddress source, bool is_answer) = 0;
};

// Vouches for wraps from proxies other than this node's own: a server takes
// those of the players who greeted it through that same proxy.
class ProxiedClients {
 public:
  virtual ~ProxiedClients() = default;
  // Receive thread: datagram (framed) came wrapped from via, naming client.
  // True: dispatch it as client's. False: dropped, or handled already.
  virtual bool AcceptWrap(std::span<const uint8_t> datagram, PeerAddress client, PeerAddress via) = 0;
};

class Dispatcher {
 public:
  Dispatcher();
  // Registers the handler of one type byte; an unregistered type is dropped.
  void SetHandler(char type, DatagramHandler handler);
  // The handler of one type byte when the server relayed the datagram; a
  // type without one goes to its ordinary handler either way.
  void SetRelayedHandler(char type, DatagramHandler handler);
  // Before the receive thread starts; without one such wraps are dropped.
  void SetProxiedClients(ProxiedClients* clients) { proxied_clients_ = clients; }
  // Any thread: the probe sink while the bridge runs, nullptr otherwise.
  void SetProbeSink(ProbeSink* sink) { probe_sink_.store(sink, std::memory_order_release); }

  // datagram is the datagram proper (after any unwrapping), source in host
  // order; relayed: it came out of the server's wrap. Too short, unknown or
  // unregistered types are dropped silently.
  void DispatchDatagram(std::span<const uint8_t> datagram, PeerAddress source, bool relayed = false) const;
  // A datagram from a wrap that via sent naming client: dispatched as
  // client's when the ProxiedClients accepts it.
  void DispatchProxied(std::span<const uint8_t> datagram, PeerAddress client, PeerAddress via) const;

  // The fixed length below which a datagram of this type is dropped; 0 for
  // a type that is not in kMessageTypes.
  static size_t MinimumLength(char type);

 private:
  std::array<DatagramHandler, 256> handlers_;
  std::array<DatagramHandler, 256> relayed_handlers_;
  std::atomic<ProbeSink*> probe_sink_{nullptr};
  ProxiedClients* proxied_clients_ = nullptr;
};

}  // namespace vorn
