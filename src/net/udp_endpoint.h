#pragma once
// The one UDP socket of a node: opening it and finding the own address,
// sending (wrapped for the proxy when one is set) from any thread, and the
// receive thread that is its only reader and hands every framed datagram to
// the dispatcher.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "net/dispatch.h"
#include "net/framing.h"
#include "net/messages.h"
#include "net/own_address.h"
#include "net/parity_decoder.h"
#include "net/shared_addresses.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "platform/socket_reader.h"
#include "platform/udp_socket.h"

namespace vorn {

struct EndpointConfig {
  uint16_t port = 2213;  // 0: an ephemeral port
  std::string my_ip;     // the own address as dotted text; empty: find it
};

// Told of every datagram the endpoint sends and of every one its receive
// thread has handled; tests use it to wait until loopback traffic has landed.
class TrafficObserver {
 public:
  virtual ~TrafficObserver() = default;
  // The sending thread, after a successful send; to is where the datagram
  // went (the proxy when it was wrapped).
  virtual void OnSent(PeerAddress to) = 0;
  // The receive thread, after a received datagram has been dispatched or
  // dropped.
  virtual void OnDispatched() = 0;
  // The receive thread, before a received datagram is handled: true drops
  // it as if the network had lost it (for tests of loss).
  virtual bool DropsReceived(std::span<const uint8_t> /*datagram*/, PeerAddress /*from*/) { return false; }
};

class UdpEndpoint {
 public:
  // The largest datagram SendPacket takes: a relayed datagram of the
  // largest size received, in its wrap.
  static constexpr size_t kMaxSendSize = kMaxDatagram + kWrapHeaderSize;

  UdpEndpoint(Clock& clock, Dialogs& dialogs, MessageWindow& window, SharedAddresses& addresses,
              const Dispatcher& dispatcher, OwnAddressSources sources = {});
  ~UdpEndpoint();
  UdpEndpoint(const UdpEndpoint&) = delete;
  UdpEndpoint& operator=(const UdpEndpoint&) = delete;

  // Opens, binds and configures the socket and stores (own address, bound
  // port) as the local address. A failure shows its message box and leaves
  // the endpoint closed.
  bool OpenUdpEndpoint(const EndpointConfig& config);
  // Stops and joins the receive thread, then closes the socket. Safe to call
  // twice and when never opened. No other thread may be sending by then.
  void CloseUdpEndpoint();

  // Any thread. Sends data to (ip, port), host order, or wraps it for the
  // proxy while one is set. Returns the bytes sent (11 more when wrapped) or
  // -1, also for data longer than kMaxSendSize or a closed endpoint.
  int SendPacket(uint32_t ip, uint16_t port, std::span<const uint8_t> data) const;
  int SendPacket(PeerAddress to, std::span<const uint8_t> data) const { return SendPacket(to.ip, to.port, data); }

  // Receive thread only. Sends head followed by body as one datagram to
  // every target, as SendPacket would to each, but with one system call for
  // all of them while no proxy is set. A copy for this node's own address
  // then does not go through the kernel and back: once the other copies have
  // left, it is dispatched at once as a relay of this node's own server.
  // Returns how many copies were sent or handled.
  size_t SendCopies(std::span<const PeerAddress> targets, std::span<const uint8_t> head,
                    std::span<const uint8_t> body) const;

  // Starts the one reader of the socket. A failure appends its line to the
  // message window and returns false.
  bool StartReceiveThread();

  // Null by default. Set it before the receive thread starts; it must
  // outlive the endpoint's use.
  void SetTrafficObserver(TrafficObserver* observer) { traffic_observer_ = observer; }
  // Null by default: no datagram is kept for parities. Set it before the
  // receive thread starts; it must outlive the endpoint's use.
  void SetParityDecoder(ParityDecoder* decoder) { parity_ = decoder; }
  // Receive thread: a datagram rebuilt from a parity, handled as if link
  // had just delivered it (but not kept again).
  void HandleRebuilt(std::span<const uint8_t> datagram, PeerAddress link) const;

  bool IsOpen() const { return socket_.valid(); }
  uint16_t BoundPort() const { return bound_port_; }

 private:
  bool Fail(std::string_view text);
  void ReceiveWaiting();
  void HandleDatagram(std::span<const uint8_t> received, PeerAddress from) const;
  void Dispatch(const Framed& framed) const;
  size_t SendEachThroughProxy(std::span<const PeerAddress> targets, std::span<const uint8_t> head,
                              std::span<const uint8_t> body) const;
  size_t SendEachDirectly(std::span<const PeerAddress> targets, PeerAddress self, std::span<const uint8_t> head,
                          std::span<const uint8_t> body) const;
  // Reports a successful send to the traffic observer; returns sent.
  int Observed(PeerAddress to, int sent) const;

  Clock& clock_;
  Dialogs& dialogs_;
  MessageWindow& window_;
  SharedAddresses& addresses_;
  const Dispatcher& dispatcher_;
  OwnAddressSources sources_;

  UdpSocket socket_;
  uint16_t bound_port_ = 0;
  // The receive thread's alone; a datagram larger than one of its buffers
  // is dropped.
  ReceiveBatch received_;
  static_assert(ReceiveBatch::kBufferBytes == kMaxDatagram);
  TrafficObserver* traffic_observer_ = nullptr;
  ParityDecoder* parity_ = nullptr;
  SocketReader reader_;  // last: it stops before the rest goes
};

}  // namespace vorn
