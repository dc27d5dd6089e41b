#pragma once
// A driver for DOS games running in DOSBox: a UDP endpoint on 127.0.0.1 that
// speaks DOSBox's IPX tunnel protocol (`ipxnet connect 127.0.0.1 PORT`).
// DOSBox registers once and gets the own address and port as its IPX node;
// every IPX packet it sends then goes into the packet ring, and every game
// frame the program delivers goes back to it as an IPX packet.
//
// Threads: the driver's own receive thread reads the socket and fills the
// ring; the program's send thread drains the ring; the program's receive
// thread calls Deliver and QueryGame; the UI thread opens, registers and
// closes. The client's address and node sit under one small mutex.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "ipx/dosbox_packet.h"
#include "ipx/ipx_capture.h"
#include "platform/driver.h"
#include "platform/message_window.h"
#include "platform/peer_address.h"
#include "platform/socket_reader.h"
#include "platform/udp_socket.h"

namespace vorn {

// What the driver counts: packets it passed on, and every kind of drop.
enum class DosboxCounter {
  kRegistrations,  // registration requests answered
  kForwarded,      // packets put into the ring
  kDelivered,      // frames sent to DOSBox
  kMalformed,      // datagrams that are no IPX packet, or name no reachable node
  kOversized,      // more data than a ring slot holds
  kRingFull,       // no free slot
  kForeign,        // from a UDP source other than the registered DOSBox
  kUnlinked,       // while the link is closed, or before the own node is known
  kEchoes,         // frames from this machine's own node, kept from DOSBox
  kUndeliverable,  // frames while no DOSBox is registered, or not game frames
  kCount
};

class DosboxDriver final : public Driver {
 public:
  static constexpr uint16_t kDefaultPort = 10213;

  // port: the UDP port on 127.0.0.1 that DOSBox connects to; 0 = ephemeral.
  DosboxDriver(MessageWindow& window, uint16_t port);
  // Stops the receive thread and closes the endpoint.
  ~DosboxDriver() override;
  DosboxDriver(const DosboxDriver&) = delete;
  DosboxDriver& operator=(const DosboxDriver&) = delete;

  // Opens the endpoint and starts its receive thread, once: a reopen after
  // Close finds them still running. error_code: errno of a failed step.
  bool Open(uint32_t& error_code) override;
  std::string DescribeOpenError(uint32_t error_code) const override;
  // Learns the own node and hands over the ring. When a registered DOSBox
  // still holds another node, says so in the message window.
  bool Register(const LinkInfo& info, std::span<uint8_t>& ring) override;
  void Deliver(PeerAddress sender, std::span<const uint8_t> frame, bool broadcast) override;
  GameQuery QueryGame() override;
  bool WaitForEvent(int32_t timeout_ms) override;
  void Wake() override;
  // Stops filling the ring. DOSBox's registration and the endpoint stay:
  // DOSBox never registers twice.
  void Close() override;
  void BeginDrainPass() override { ring_mutex_.lock(); }
  void EndDrainPass() override { ring_mutex_.unlock(); }

  // Before Open: every IPX packet DOSBox sends or is given also goes to
  // tap (registrations aside). Null for none; it must outlive the driver.
  void SetTap(IpxTap* tap) { tap_.store(tap, std::memory_order_release); }

  uint16_t BoundPort() const { return bound_port_.load(std::memory_order_acquire); }
  // The registered DOSBox's UDP source, and the node it was given; unset
  // before any registration.
  PeerAddress ClientAddress() const;
  PeerAddress ClientNode() const;
  uint32_t Count(DosboxCounter counter) const;

 private:
  static constexpr size_t kReceiveBufferSize = 2048;

  bool StartReceiving(uint32_t& error_code);
  void ReceiveWaiting();
  void HandleDatagram(std::span<const uint8_t> datagram, PeerAddress from);
  void HandleClientPacket(const IpxPacket& packet);
  void OnRegistration(PeerAddress from);
  void PutIntoRing(const IpxPacket& packet);
  void SignalEvent();
  void Bump(DosboxCounter counter);

  MessageWindow& window_;
  const uint16_t port_;
  UdpSocket socket_;
  std::atomic<uint16_t> bound_port_{0};

  mutable std::mutex client_mutex_;
  PeerAddress client_;       // DOSBox's UDP source
  PeerAddress client_node_;  // the node DOSBox took at registration
  PeerAddress own_;          // from the last Register

  std::atomic<bool> linked_{false};
  // The last game socket DOSBox sent from, as its number; 0 before any.
  std::atomic<uint16_t> game_socket_{0};
  std::atomic<IpxTap*> tap_{nullptr};
  std::array<std::atomic<uint32_t>, static_cast<size_t>(DosboxCounter::kCount)> counters_{};

  // Held by a drain pass of the program and by each fill of the ring.
  std::mutex ring_mutex_;

  std::mutex event_mutex_;
  std::condition_variable event_changed_;
  bool event_signalled_ = false;

  // The receive thread's alone.
  uint32_t next_sequence_ = 1;
  std::array<uint8_t, kReceiveBufferSize> receive_buffer_{};
  // Shared with the program from Register on; a slot's first word hands it over.
  alignas(64) std::array<uint8_t, kRingBytes> ring_{};
  SocketReader reader_;  // last: it stops before the rest goes
};

}  // namespace vorn
