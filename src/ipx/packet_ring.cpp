#include "ipx/packet_ring.h"

#include <atomic>
#include <cstring>

#include "platform/byte_io.h"

namespace vorn {

namespace {

constexpr size_t kAddressOffset = 0;
constexpr size_t kFlagByte = 3;  // the address's top byte
constexpr size_t kPortOffset = 4;
constexpr size_t kLengthOffset = 6;
constexpr size_t kSequenceOffset = kSlotFrameOffset + kFrameSize;  // 13
constexpr std::array<uint8_t, 5> kFrameHeader = {'V', 'O', 'R', 'N', kTypeGameFrame};

}  // namespace

uint8_t PacketSlot::LoadByte(size_t offset, bool acquire) const {
  return std::atomic_ref<uint8_t>(base_[offset]).load(acquire ? std::memory_order_acquire : std::memory_order_relaxed);
}

void PacketSlot::StoreByte(size_t offset, uint8_t value, bool release) const {
  std::atomic_ref<uint8_t>(base_[offset]).store(value, release ? std::memory_order_release : std::memory_order_relaxed);
}

bool PacketSlot::IsFilled() const { return LoadByte(kFlagByte, true) != 0; }

PeerAddress PacketSlot::Destination() const {
  uint32_t ip = 0;
  for (size_t i = 0; i < 4; ++i) ip |= uint32_t{LoadByte(kAddressOffset + i, false)} << (8 * i);
  ByteReader port(std::span<const uint8_t>(base_ + kPortOffset, 2));
  return {ip, port.U16Le()};
}

uint16_t PacketSlot::PayloadLength() const {
  ByteReader length(std::span<const uint8_t>(base_ + kLengthOffset, 2));
  return length.U16Le();
}

std::span<uint8_t> PacketSlot::Frame() const {
  const size_t payload = PayloadLength();
  if (payload > kMaxSlotPayload) return {};
  return {base_ + kSlotFrameOffset, kGameFrameHeaderSize + payload};
}

void PacketSlot::Free() const {
  for (size_t i = 0; i < kFlagByte; ++i) StoreByte(kAddressOffset + i, 0, false);
  StoreByte(kFlagByte, 0, true);
}

void PacketSlot::WriteFrameHeader() const {
  std::memcpy(base_ + kSlotFrameOffset, kFrameHeader.data(), kFrameHeader.size());
}

bool PacketSlot::Fill(const SlotPacket& packet) const {
  const uint8_t flag = static_cast<uint8_t>(packet.destination.ip >> 24);
  if (!IsFree() || flag == 0 || packet.payload.size() > kMaxSlotPayload) return false;
  ByteWriter header(std::span<uint8_t>(base_ + kPortOffset, 4));
  header.U16Le(packet.destination.port);
  header.U16Le(static_cast<uint16_t>(packet.payload.size()));
  ByteWriter rest(std::span<uint8_t>(base_ + kSequenceOffset, kRingSlotBytes - kSequenceOffset));
  rest.U32Le(static_cast<uint32_t>(packet.sequence));
  rest.Bytes(packet.destination_socket);
  rest.Bytes(packet.source_socket);
  rest.Bytes(packet.payload);
  for (size_t i = 0; i < kFlagByte; ++i)
    StoreByte(kAddressOffset + i, static_cast<uint8_t>(packet.destination.ip >> (8 * i)), false);
  StoreByte(kFlagByte, flag, true);
  return true;
}

PacketRing::PacketRing(std::span<uint8_t> memory) {
  if (memory.size() == kRingBytes) base_ = memory.data();
}

std::optional<size_t> PacketRing::FirstFreeSlot() const {
  for (size_t index = 0; index < kRingSlotCount; ++index) {
    if (slot(index).IsFree()) return index;
  }
  return std::nullopt;
}

void PacketRing::WriteFrameHeaders() const {
  for (size_t index = 0; index < kRingSlotCount; ++index) slot(index).WriteFrameHeader();
}

}  // namespace vorn
