// The DOSBox driver's two conversions: a datagram from DOSBox into a ring
// slot, and a game frame into an IPX packet for DOSBox.
#include <algorithm>

#include "fuzz_support.h"
#include "ipx/dosbox_packet.h"

using namespace vorn;

namespace {

// A datagram as DOSBox's IPX packet: parsed within its bounds, rebuilt
// byte for byte, and carried through a ring slot unchanged.
void CheckIpxPacket(std::span<const uint8_t> input) {
  std::optional<IpxPacket> packet = ParseIpxPacket(input);
  if (!packet) return;
  fuzz::Check(input.size() >= kIpxHeaderSize && packet->data.size() == input.size() - kIpxHeaderSize);
  fuzz::CheckWithin(packet->data, input);
  fuzz::Buffer rebuilt{};
  const size_t size = BuildIpxPacket(rebuilt, packet->header, packet->data);
  fuzz::Check(size == input.size() && std::equal(input.begin(), input.end(), rebuilt.begin()));
  if (IsRegistrationRequest(*packet)) return;

  std::array<uint8_t, kRingBytes> memory{};
  const PacketSlot slot = PacketRing(memory).slot(1);  // an unaligned one
  const bool fits = packet->data.size() <= kMaxSlotPayload && IsReachableNode(packet->header.destination_node);
  fuzz::Check(slot.Fill(ToSlotPacket(*packet, 1)) == fits);
  if (!fits) return;
  fuzz::Check(slot.IsFilled() && slot.Destination() == packet->header.destination_node);
  fuzz::Check(std::ranges::equal(slot.Frame().subspan(kGameFrameHeaderSize), packet->data));
}

// The same bytes as a game frame delivered to DOSBox.
void CheckDelivery(std::span<const uint8_t> input) {
  std::array<uint8_t, kIpxMaxPacketSize> out{};
  const size_t size = BuildPacketFromFrame(out, input, {0x0A000002, 2214}, {0x7F000001, 2213});
  if (size == 0) return;
  std::optional<IpxPacket> packet = ParseIpxPacket(std::span<const uint8_t>(out.data(), size));
  fuzz::Check(packet.has_value());
  fuzz::Check(input.size() >= kGameFrameHeaderSize);
  fuzz::Check(std::ranges::equal(packet->data, input.subspan(kGameFrameHeaderSize)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  CheckIpxPacket(input);
  CheckDelivery(input);
  return 0;
}
