#pragma once
// The DirectPlay bridge: games that find each other with DirectPlay over UDP
// never reach the IPX driver, so a thread of ours listens on their port 8787,
// keeps the newest datagram that the local game sends there and announces it
// through the server. Every other player whose bridge runs answers, and each
// answer makes this node send its kept datagram to the answering player's
// port 8787, from the port the local game used, so that the other game's
// reply comes back to ours.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>

#include "net/dispatch.h"
#include "net/messages.h"
#include "net/shared_addresses.h"
#include "net/udp_endpoint.h"
#include "platform/message_window.h"
#include "platform/peer_address.h"
#include "platform/socket_reader.h"
#include "platform/udp_socket.h"

namespace vorn {

inline constexpr uint16_t kDirectPlayPort = 8787;
// The largest datagram of a local game that the bridge keeps; larger ones are
// skipped.
inline constexpr size_t kMaxKeptDatagram = 1000;
inline constexpr size_t kDirectPlayAnnouncementSize = kMinProbeSize;

// The 18-byte "VORNB" frame with sequence 0, both sockets 53 22 and the probe
// marker that tells every player that this node keeps a DirectPlay datagram.
std::array<uint8_t, kDirectPlayAnnouncementSize> BuildDirectPlayAnnouncement();

struct DirectPlayBridgeOptions {
  // Where the bridge's sockets are bound, host order; 0 = any address. Two
  // nodes on one machine give each its own loopback address.
  uint32_t bind_ip = 0;
  // The port the bridge listens on, and the port of the other players'
  // bridges that kept datagrams are sent to.
  uint16_t port = kDirectPlayPort;
};

class DirectPlayBridge final : public ProbeSink {
 public:
  // The window, addresses, endpoint and dispatcher must outlive the bridge.
  // Shutting down: stop the bridge before the endpoint is closed (its thread
  // sends through it), and close the endpoint before the bridge is destroyed
  // (its receive thread calls OnProbe).
  DirectPlayBridge(MessageWindow& window, const SharedAddresses& addresses, const UdpEndpoint& endpoint,
                   Dispatcher& dispatcher, DirectPlayBridgeOptions options = {});
  // Stops a running bridge without a message: the program is going away.
  ~DirectPlayBridge() override;
  DirectPlayBridge(const DirectPlayBridge&) = delete;
  DirectPlayBridge& operator=(const DirectPlayBridge&) = delete;

  // UI thread. Binds the listen socket, starts the bridge thread and takes
  // the probes from the dispatcher. True when the bridge runs (also when it
  // ran already); false after the failure has been reported.
  bool StartDirectPlayBridge();
  // UI thread. Joins the bridge thread, closes its sockets, forgets the kept
  // datagram and hands the probes back to the type switch. Does nothing
  // (apart from collecting a thread that ended on its own) when not running.
  void StopDirectPlayBridge();
  // Any thread.
  bool IsDirectPlayBridgeRunning() const { return running_.load(std::memory_order_acquire); }

  // Any thread. Sends the kept datagram from the game's port to the
  // bridge port of to.ip; nothing when no datagram is kept or to is this
  // node's own address. True when it was sent.
  bool SendKeptDatagram(PeerAddress to) const;

  // The receive thread, while the bridge runs: "VMECH" is answered to its
  // sender with "vmech"; "vmech" is answered with the kept datagram.
  void OnProbe(std::span<const uint8_t> datagram, PeerAddress source, bool is_answer) override;

 private:
  void JoinThread();
  bool OpenListenSocket(UdpSocket& listen) const;
  void ReceiveWaiting();
  void TakeLocalDatagram(std::span<const uint8_t> datagram, uint16_t source_port);
  // A socket to send the kept datagram from; not valid after its message.
  UdpSocket OpenSendSocket(uint16_t game_port) const;
  void Announce() const;
  // Ends the thread's run after its wait failed.
  void Abort();
  void ForgetKeptDatagram();
  void Append(std::string_view text) const;

  MessageWindow& window_;
  const SharedAddresses& addresses_;
  const UdpEndpoint& endpoint_;
  Dispatcher& dispatcher_;
  const DirectPlayBridgeOptions options_;

  std::atomic<bool> running_{false};
  // Opened before the thread starts, closed after it has been joined.
  UdpSocket listen_;
  // The bridge thread's alone.
  std::array<uint8_t, kMaxKeptDatagram> receive_buffer_{};
  uint16_t send_port_ = 0;  // the port send_socket_ is bound to; 0 = none

  // The newest local datagram and the socket it is sent from are replaced
  // together, so a sender sees either nothing or a complete datagram with the
  // socket of its port.
  mutable std::mutex kept_mutex_;
  std::array<uint8_t, kMaxKeptDatagram> kept_{};
  size_t kept_size_ = 0;  // 0 = none
  UdpSocket send_socket_;

  SocketReader reader_;  // last: it ends before the state it uses goes
};

}  // namespace vorn
