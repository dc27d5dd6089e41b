#include "chat/pending_packets.h"

#include <algorithm>

namespace vorn {

PendingChatPacket* PendingChatPackets::Keep(PeerAddress peer, std::span<const uint8_t> packet, int32_t now_ms,
                                            int32_t interval_ms) {
  if (packet.size() > kMaxChatPacket || packet.size() < kChatHeaderSize) return nullptr;
  auto free_record = std::find_if(records_.begin(), records_.end(), [](const auto& r) { return !r.in_use; });
  PendingChatPacket* record = nullptr;
  if (free_record != records_.end()) {
    record = &*free_record;
  } else {
    if (record_count_ >= kMaxRecords) return nullptr;
    record = &records_.emplace_front();
    ++record_count_;
  }
  record->peer = peer;
  record->length = packet.size();
  std::copy(packet.begin(), packet.end(), record->bytes.begin());
  record->subtype = BuiltChatSubtype(packet);
  record->serial = BuiltChatSerial(packet);
  record->in_use = true;
  record->first_sent = now_ms;
  record->last_sent = now_ms;
  record->interval_ms = interval_ms;
  record->deadline = now_ms + interval_ms;
  record->resends = 0;
  record->overtaken = 0;
  record->overtaken_after = record->serial;
  return record;
}

std::optional<AcknowledgedPacket> PendingChatPackets::Acknowledge(uint32_t serial, PeerAddress peer) {
  for (PendingChatPacket& record : records_) {
    if (record.serial != serial || record.peer != peer) continue;
    AcknowledgedPacket acked{record.subtype, record.in_use, record.first_sent, record.resends != 0};
    record.in_use = false;
    return acked;
  }
  return std::nullopt;
}

bool PendingChatPackets::HasUnacknowledged(PeerAddress peer) const {
  return std::any_of(records_.begin(), records_.end(),
                     [&](const PendingChatPacket& r) { return r.in_use && r.peer == peer; });
}

size_t PendingChatPackets::CountInUse(PeerAddress peer, ChatSubtype subtype, uint32_t min_serial) const {
  return static_cast<size_t>(std::count_if(records_.begin(), records_.end(), [&](const PendingChatPacket& r) {
    return r.in_use && r.peer == peer && r.subtype == subtype && r.serial >= min_serial;
  }));
}

void PendingChatPackets::ReleaseAll() {
  records_.clear();
  record_count_ = 0;
}

}  // namespace vorn
