#pragma once
// The game-side IPX device. The real device does not exist on this
// platform; user-mode drivers (a simulated one for tests, a DOSBox IPX
// tunnel endpoint) implement this port.
#include <cstddef>
#include <cstdint>
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
};

class Driver {
 public:
  virtual ~Driver() = default;
  // Opens the device. On failure error_code receives the platform's code.
  virtual bool Open(uint32_t& error_code) = 0;
  // Register control code: learns the own node and hands back the ring of
  // kRingSlotCount slots of kRingSlotBytes that both sides share.
  virtual bool Register(const LinkInfo& info, std::span<uint8_t>& ring) = 0;
  // Deliver control code: one game frame from a sender to the local game.
  virtual void Deliver(PeerAddress sender, std::span<const uint8_t> frame) = 0;
  // Query control code.
  virtual GameQuery QueryGame() = 0;
  // The driver's event: true when signalled within timeout_ms.
  virtual bool WaitForEvent(int32_t timeout_ms) = 0;
  // Wakes a waiter for shutdown.
  virtual void Wake() = 0;
  virtual void Close() = 0;
};

}  // namespace vorn
