#include "net/link_probe.h"

#include <array>

#include "net/messages.h"
#include "net/peer_capabilities.h"
#include "platform/byte_io.h"

namespace vorn {

namespace {
constexpr size_t kKindOffset = 5;
constexpr size_t kFieldOffset = 6;
static_assert(kFieldOffset + kCapabilityFieldSize + 8 == kLinkProbeSize);
}  // namespace

size_t BuildLinkProbe(std::span<uint8_t> out, const LinkProbe& probe) {
  if (out.size() < kLinkProbeSize) return 0;
  ByteWriter writer(out);
  writer.Bytes(kMagic);
  writer.U8(static_cast<uint8_t>(kTypeLinkProbe));
  writer.U8(static_cast<uint8_t>(probe.kind));
  std::array<uint8_t, kCapabilityFieldSize> field{};
  WriteCapabilityField(field, probe.capabilities);
  writer.Bytes(field);
  writer.U32Le(probe.number);
  writer.U32Le(probe.received);
  return kLinkProbeSize;
}

std::optional<LinkProbe> ParseLinkProbe(std::span<const uint8_t> datagram) {
  if (datagram.size() < kLinkProbeSize || !IsVornFrame(datagram) || datagram[kTypeOffset] != kTypeLinkProbe)
    return std::nullopt;
  const auto kind = static_cast<LinkProbeKind>(datagram[kKindOffset]);
  if (kind != LinkProbeKind::kQuestion && kind != LinkProbeKind::kAnswer) return std::nullopt;
  ByteReader reader(datagram.subspan(kFieldOffset + kCapabilityFieldSize));
  LinkProbe probe;
  probe.kind = kind;
  probe.capabilities = ReadCapabilityField(datagram.subspan(kFieldOffset, kCapabilityFieldSize)).value_or(0);
  probe.number = reader.U32Le();
  probe.received = reader.U32Le();
  return probe;
}

}  // namespace vorn
