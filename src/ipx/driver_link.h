#pragma once
// The link to the game-side IPX driver: opening and registering it, the send
// thread that drains its packet ring, handing received frames to it, and
// closing it again. What happens to each drained slot (the filters and the
// send) is the forwarder's; the link calls it through ForwardSlot.
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <thread>

#include "ipx/packet_ring.h"
#include "net/shared_addresses.h"
#include "platform/dialogs.h"
#include "platform/driver.h"
#include "platform/message_window.h"
#include "platform/peer_address.h"
#include "platform/profile.h"

namespace vorn {

// Called on the send thread for each filled slot; must free the slot.
using ForwardSlot = std::function<void(PacketSlot slot)>;

struct DriverLinkPorts {
  Driver& driver;
  Dialogs& dialogs;
  MessageWindow& window;
  Profile& profile;
  const SharedAddresses& addresses;
};

class DriverLink {
 public:
  // The send thread waits this long at most between looks at its stop flag
  // and the ring; a signal or Wake ends the wait at once.
  static constexpr int32_t kDefaultSendWaitMs = 1000;

  DriverLink(const DriverLinkPorts& ports, ForwardSlot forward, int32_t send_wait_ms = kDefaultSendWaitMs);
  ~DriverLink();
  DriverLink(const DriverLink&) = delete;
  DriverLink& operator=(const DriverLink&) = delete;

  // UI thread. Records the program's directory, opens the driver (a failure
  // shows its message box and returns false), starts the send thread,
  // registers the own address and port, and marks every slot as a game
  // frame. A refused registration is reported on standard output and leaves
  // the link open without forwarding: the ring is then unknown.
  bool OpenDriverLink();
  // UI thread. Stops and joins the send thread, then closes the driver.
  // Safe to call twice and when never opened.
  void CloseDriverLink();
  // UI thread: close and open again, so the driver learns a new own address.
  bool RestartDriverLink();

  // Receive thread: one received game frame, header included, for the local
  // game; broadcast: one the server relayed to everyone. Dropped while the
  // link is closed.
  void DeliverToDriver(PeerAddress sender, std::span<const uint8_t> frame, bool broadcast = false);
  // Receive thread: which game runs; socket 0 (no game) while closed.
  GameQuery QueryDriverGame();

  bool IsOpen() const { return open_.load(std::memory_order_acquire); }
  // True while the registration holds and the send thread forwards slots.
  bool IsForwarding() const { return ring_ready_.load(std::memory_order_acquire); }

 private:
  void WriteLocation();
  bool OpenDevice();
  bool StartSendThread();
  void Register();
  void DriverSendLoop(std::stop_token stop);

  DriverLinkPorts ports_;
  ForwardSlot forward_;
  int32_t send_wait_ms_;
  PacketRing ring_;  // written before ring_ready_ is set, read after
  std::atomic<bool> ring_ready_{false};
  std::atomic<bool> open_{false};
  std::jthread send_thread_;
};

}  // namespace vorn
