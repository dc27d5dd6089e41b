#pragma once
// What a client does with each message a server, the proxy or the tracker
// sends it. Every handler runs on the receive thread: answer codes go to the
// reply board for the procedures on the UI thread, texts and server lists
// are handed to the UI thread, and a ping from the connected server is
// answered at once.
#include <cstdint>
#include <span>

#include "connection/connection_hooks.h"
#include "connection/queries.h"
#include "connection/reply_board.h"
#include "net/dispatch.h"
#include "net/shared_addresses.h"
#include "net/udp_endpoint.h"
#include "platform/message_window.h"

namespace vorn {

class ClientHandlers {
 public:
  // A ping reply is sent again when the socket refused it, this often in all.
  static constexpr int kMaxPingReplySends = 20;

  ClientHandlers(ReplyBoard& board, SharedAddresses& addresses, const UdpEndpoint& endpoint, MessageWindow& window,
                 Queries& queries, const ConnectionHooks& hooks);

  // Registers "2", "4", "n", "7", "8", ">", "6", "v", "w" and "-".
  void Register(Dispatcher& dispatcher);

  void OnAccepted(std::span<const uint8_t> datagram, PeerAddress source);
  void OnProxyWelcome(std::span<const uint8_t> datagram, PeerAddress source);
  void ReplyToPing(std::span<const uint8_t> datagram, PeerAddress source);

 private:
  ReplyBoard& board_;
  SharedAddresses& addresses_;
  const UdpEndpoint& endpoint_;
  MessageWindow& window_;
  Queries& queries_;
  const ConnectionHooks& hooks_;
};

// "\r\nNote: IP number has been changed to a.b.c.d:port\r\n".
std::string AddressChangedNote(PeerAddress address);

}  // namespace vorn
