#pragma once
// The game-side IPX device. The real device does not exist on this
// platform; user-mode drivers (a simulated one for tests, a DOSBox IPX
// tunnel endpoint) implement this port.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "platform/peer_address.h"

namespace vorn {

inline constexpr size_t kRingSlotCount = 20;
inline constexpr size_t kRingSlotBytes = 1021;

// What the register control code hands the driver: the own node.
struct LinkInfo {
  PeerAddress own;
};

// What the query control code answers: the running game's IPX socket as it
// travels (network order, 0 when no game runs) and its 8-byte name.
struct GameQuery {
  uint16_t socket = 0;
  char name[8] = {};

  // `socket` holds the two travelling bytes in memory in that order (a copy
  // of them, not a number): set and read it through these, so that neither
  // side depends on the host's byte order. Socket 0x5100 is {0x51, 0x00}.
  std::array<uint8_t, 2> SocketBytes() const {
    std::array<uint8_t, 2> bytes{};
    std::memcpy(bytes.data(), &socket, bytes.size());
    return bytes;
  }
  void SetSocketBytes(std::array<uint8_t, 2> bytes) { std::memcpy(&socket, bytes.data(), bytes.size()); }
};

class Driver {
 public:
  virtual ~Driver() = default;
  // Opens the device. On failure error_code receives the platform's code.
  virtual bool Open(uint32_t& error_code) = 0;
  // What went wrong in words, for a driver whose failures are not the
  // device's own (whose codes the link explains); empty to let it explain.
  virtual std::string DescribeOpenError(uint32_t /*error_code*/) const { return {}; }
  // Register control code: learns the own node and hands back the ring of
  // kRingSlotCount slots of kRingSlotBytes that both sides share. The driver
  // fills slots only through PacketSlot::Fill (ipx/packet_ring.h), which
  // publishes the hand-over word last. On false the ring is left unset and
  // the program never touches it.
  virtual bool Register(const LinkInfo& info, std::span<uint8_t>& ring) = 0;
  // Deliver control code: one game frame from a sender to the local game;
  // broadcast: it was sent to everyone, and reaches the game with the
  // broadcast node as its destination rather than the own node.
  // Deliver and QueryGame come from the receive thread, also while the UI
  // thread closes and reopens the link.
  virtual void Deliver(PeerAddress sender, std::span<const uint8_t> frame, bool broadcast) = 0;
  // Query control code.
  virtual GameQuery QueryGame() = 0;
  // The driver's event, auto-reset: true when signalled within timeout_ms
  // (a signal given while nobody waits is kept for the next wait).
  virtual bool WaitForEvent(int32_t timeout_ms) = 0;
  // Wakes a waiter for shutdown: signals the event like a filled slot does,
  // and is likewise kept when nobody waits yet, so it is never lost.
  virtual void Wake() = 0;
  // Closes the device. Open and Register may follow again: a link restart
  // after an own-address change.
  virtual void Close() = 0;
  // Around each pass of the program's drain. The driver fills the first free
  // slot and the drain stops at the first free one, so a slot filled during
  // a pass could land behind the pass while a later packet lands ahead of it
  // and leaves first. A driver that fills from its own thread holds its
  // fills back between these two calls; the pass is a few sends long.
  virtual void BeginDrainPass() {}
  virtual void EndDrainPass() {}
};

}  // namespace vorn
