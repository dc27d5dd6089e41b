#pragma once
// Game traffic between the driver and the network. Outbound, each ring slot
// the driver filled leaves as a game frame: directed frames straight to the
// player the game addressed, broadcasts to the server, which relays them.
// Inbound, each received directed frame passes two filters and goes to the
// driver; chat frames also go to the chat layer. And the driver is asked
// which game runs, for ping replies and player lists.
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "ipx/driver_link.h"
#include "ipx/game_filters.h"
#include "ipx/packet_ring.h"
#include "ipx/player_gate.h"
#include "net/game_info.h"
#include "net/link_monitor.h"
#include "net/shared_addresses.h"
#include "platform/clock.h"
#include "platform/peer_address.h"

namespace vorn {

// Sends one datagram from any thread, as UdpEndpoint::SendPacket does.
using SendPacketFunction = std::function<int(PeerAddress to, std::span<const uint8_t> datagram)>;

// What the forwarder calls outside the IPX bridge. Each may stay empty.
struct ForwarderHooks {
  // Receive thread: a chat frame's sender and its bytes from offset 13.
  std::function<void(PeerAddress sender, std::span<const uint8_t> chat)> on_chat_packet;
  // Any thread: whether the DirectPlay bridge runs; empty means it does not.
  std::function<bool()> is_direct_play_bridge_running;
  // Receive thread: the running game's name for the local server's own
  // entry 0; the server copies it under its table lock.
  std::function<void(std::string_view name)> set_own_process_name;
  // The links that count game datagrams and say which get a protected
  // copy; null: every frame goes once. Must outlive the forwarder.
  LinkMonitor* links = nullptr;
};

class GameForwarder {
 public:
  GameForwarder(DriverLink& link, const Clock& clock, const SharedAddresses& addresses, SendPacketFunction send,
                ForwarderHooks hooks = {});

  // Any thread (the settings change on the UI thread while the send thread
  // reads them): drop the join packets that some games repeat.
  void SetFastJoin(bool on) { fast_join_.store(on, std::memory_order_relaxed); }
  void SetFastJoin2(bool on) { fast_join2_.store(on, std::memory_order_relaxed); }

  // Send thread: filters and sends the slot's frame in place, then frees the
  // slot, whatever became of the frame.
  void ForwardDriverPacket(PacketSlot slot);
  // Receive thread, the handler of type '0': frame from its "VORN", sender
  // after any unwrapping.
  void OnGameFrame(std::span<const uint8_t> frame, PeerAddress sender, bool relayed = false);
  // Receive thread: a text from the connected server. True when it was the
  // player list that the gate asked for; it is then not shown.
  bool TakePlayerList(std::string_view text) { return gate_.TakePlayerList(text, clock_.NowMs()); }
  const PlayerGate& gate() const { return gate_; }
  // Receive thread: the game now running, which also becomes the process
  // name of the local server's own entry.
  GameInfo QueryGameInfo();

 private:
  bool DropOutbound(std::span<const uint8_t> frame, PeerAddress destination);
  void SendFrame(std::span<uint8_t> frame, PeerAddress destination) const;
  // A frame the gate let through, to the driver and the chat.
  void Deliver(std::span<const uint8_t> frame, PeerAddress sender, bool relayed);
  void AskServerForPlayers() const;

  DriverLink& link_;
  const Clock& clock_;
  const SharedAddresses& addresses_;
  SendPacketFunction send_;
  ForwarderHooks hooks_;
  std::atomic<bool> fast_join_{false};
  std::atomic<bool> fast_join2_{false};
  DestinationHistory destinations_;  // send thread only
  // Receive thread only. Broadcasts come through the server and directed
  // frames straight from their sender, so a reply sent just after a
  // broadcast can arrive first; one history for both paths would then drop
  // the broadcast as stale. Each path keeps its own.
  SenderHistory senders_;
  SenderHistory relayed_senders_;
  RepeatMarkerFilter markers_;  // receive thread only
  PlayerGate gate_;             // receive thread only
};

}  // namespace vorn
