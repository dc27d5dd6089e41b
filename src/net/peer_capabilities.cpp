#include "net/peer_capabilities.h"

#include <algorithm>

#include "platform/byte_io.h"

namespace vorn {
namespace {

constexpr std::array<uint8_t, 4> kMarker = {'V', 'N', 'X', 'C'};
constexpr uint8_t kVersion = 1;

bool IsFree(PeerAddress peer) { return peer.ip == 0 && peer.port == 0; }

}  // namespace

void WriteCapabilityField(std::span<uint8_t> field, uint32_t flags) {
  std::fill(field.begin(), field.begin() + std::min(field.size(), kCapabilityFieldSize), uint8_t{0});
  if (flags == 0) return;
  ByteWriter writer(field);
  writer.Bytes(kMarker);
  writer.U8(kVersion);
  writer.U8(0);
  writer.U32Le(flags);
}

std::optional<uint32_t> ReadCapabilityField(std::span<const uint8_t> field) {
  if (field.size() < kCapabilityFieldSize) return std::nullopt;
  ByteReader reader(field);
  std::span<const uint8_t> marker = reader.Bytes(kMarker.size());
  uint8_t version = reader.U8();
  uint8_t zero = reader.U8();
  uint32_t flags = reader.U32Le();
  uint16_t tail = reader.U16Le();
  if (!reader.ok() || !std::equal(marker.begin(), marker.end(), kMarker.begin())) return std::nullopt;
  if (version != kVersion || zero != 0 || tail != 0) return std::nullopt;
  return flags;
}

void PeerCapabilities::Record(PeerAddress peer, uint32_t flags, int32_t now_ms) {
  if (IsFree(peer)) return;
  std::lock_guard lock(mutex_);
  Entry* entry = FindLocked(peer);
  if (entry == nullptr) {
    if (flags == 0) return;  // nothing to remember of a peer that announces nothing
    entry = &TakeLocked();
  }
  *entry = Entry{peer, flags, now_ms};
}

bool PeerCapabilities::Has(PeerAddress peer, uint32_t flag) const {
  std::lock_guard lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const Entry& e) { return e.peer == peer && !IsFree(peer) && (e.flags & flag) != 0; });
}

PeerCapabilities::Entry* PeerCapabilities::FindLocked(PeerAddress peer) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.peer == peer; });
  return it == entries_.end() ? nullptr : &*it;
}

PeerCapabilities::Entry& PeerCapabilities::TakeLocked() {
  auto free = std::find_if(entries_.begin(), entries_.end(), [](const Entry& e) { return IsFree(e.peer); });
  if (free != entries_.end()) return *free;
  // Oldest by the age of its last word, correct across the clock's wrap.
  return *std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a.seen_ms) - static_cast<uint32_t>(b.seen_ms)) < 0;
  });
}

}  // namespace vorn
