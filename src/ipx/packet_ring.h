#pragma once
// The packet ring that the driver shares with the program: kRingSlotCount
// slots of kRingSlotBytes, back to back. Every field is read and written at
// its fixed offset in its byte order; nothing is cast over the memory.
//
// One slot (header little-endian, the driver's host order):
//    0  4  destination IPv4 address, host order; 0 = free, 0xFFFFFFFF = broadcast
//    4  2  destination UDP port, host order
//    6  2  n, the IPX payload length (at most kMaxSlotPayload)
//    8  4  "VORN"     } written by the program at registration and per
//   12  1  type byte  } send; the driver never touches bytes 8 to 12
//   13  4  sequence number, little-endian
//   17  2  destination IPX socket, network order
//   19  2  source IPX socket, network order
//   21  n  IPX payload
// Bytes 8 to 20 + n are one game frame of n + 13 bytes.
//
// The hand-over. The first word passes a slot from the driver's thread
// (which fills it) to the program's send thread (which frees it). Slot i
// starts 1021 * i bytes in, so for odd i that word is not 4-aligned and
// cannot be a std::atomic_ref<uint32_t> (undefined behaviour, a split lock
// on x86). Plain copies with fences would do on the hardware, but
// ThreadSanitizer does not model fences and would see a race. So the word is
// four atomic bytes, and its byte 3 -- the address's top byte, the first
// number of the dotted quad -- is the flag: the filler writes the slot and
// bytes 0 to 2, then byte 3 with release; the reader loads byte 3 with
// acquire and, when it is non-zero, sees the whole slot. Freeing clears
// bytes 0 to 2 and then byte 3 with release, so the driver that reads it as
// free may overwrite the slot. An address 0.x.x.x is never a destination;
// Fill refuses it, so for every slot filled here "byte 3 non-zero" and "word
// non-zero" mean the same.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "net/messages.h"
#include "platform/driver.h"
#include "platform/peer_address.h"

namespace vorn {

inline constexpr size_t kRingBytes = kRingSlotCount * kRingSlotBytes;
inline constexpr size_t kSlotFrameOffset = 8;
inline constexpr size_t kSlotPayloadOffset = kSlotFrameOffset + kGameFrameHeaderSize;  // 21
inline constexpr size_t kMaxSlotPayload = kRingSlotBytes - kSlotPayloadOffset;         // 1000
inline constexpr uint32_t kBroadcastDestination = 0xFFFFFFFF;

// What a driver puts into a slot: one IPX packet that a local game sent.
struct SlotPacket {
  PeerAddress destination;  // ip kBroadcastDestination for a broadcast
  int32_t sequence = 0;
  IpxSocket destination_socket = {};
  IpxSocket source_socket = {};
  std::span<const uint8_t> payload;  // at most kMaxSlotPayload bytes
};

// A view of one slot. Cheap to copy; the ring's memory must outlive it.
class PacketSlot {
 public:
  explicit PacketSlot(uint8_t* base) : base_(base) {}

  // ---- program side (the send thread) ----
  // Acquire: when true, the driver's writes to the whole slot are visible.
  bool IsFilled() const;
  PeerAddress Destination() const;
  uint16_t PayloadLength() const;
  // The game frame at offset 8, n + 13 bytes; empty when the driver wrote a
  // length larger than the slot holds.
  std::span<uint8_t> Frame() const;
  // Release: hands the slot back to the driver; the program must not touch
  // it afterwards.
  void Free() const;
  // "VORN0" at offset 8: once per registration, before slots are forwarded.
  void WriteFrameHeader() const;

  // ---- driver side ----
  bool IsFree() const { return !IsFilled(); }
  // Writes the packet and publishes the slot (byte 3 of the address last).
  // False, leaving the slot as it was, when the slot is not free, the
  // payload is too long or the address is 0.x.x.x (see above).
  bool Fill(const SlotPacket& packet) const;

 private:
  uint8_t LoadByte(size_t offset, bool acquire) const;
  void StoreByte(size_t offset, uint8_t value, bool release) const;

  uint8_t* base_;
};

// A view of the whole ring: kRingSlotCount slots of kRingSlotBytes.
class PacketRing {
 public:
  PacketRing() = default;
  // memory must be exactly kRingBytes long, else the ring stays invalid.
  explicit PacketRing(std::span<uint8_t> memory);

  bool valid() const { return base_ != nullptr; }
  PacketSlot slot(size_t index) const { return PacketSlot(base_ + index * kRingSlotBytes); }
  // Driver side: slots are taken in order from slot 0, because the
  // program's drain stops at the first free one.
  std::optional<size_t> FirstFreeSlot() const;
  void WriteFrameHeaders() const;

 private:
  uint8_t* base_ = nullptr;
};

// The send thread's drain after a wake-up: from slot 0, each filled slot in
// turn to forward (which must free it), stopping at the first free slot and
// after kRingSlotCount slots. Returns the number forwarded.
template <typename Forward>
size_t DrainRing(const PacketRing& ring, Forward&& forward) {
  size_t index = 0;
  while (index < kRingSlotCount && ring.slot(index).IsFilled()) forward(ring.slot(index++));
  return index;
}

}  // namespace vorn
