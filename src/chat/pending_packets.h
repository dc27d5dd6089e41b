#pragma once
// Copies of sent chat packets kept until the receiver acknowledges them, so
// the chat timer can send them again when their deadline passes. Records are reused once acknowledged
// and released only when chat mode ends; their number is capped, so a peer
// that never answers cannot make the list grow without bound.
#include <array>
#include <cstdint>
#include <forward_list>
#include <optional>
#include <span>

#include "chat/chat_packet.h"
#include "platform/peer_address.h"

namespace vorn {

struct PendingChatPacket {
  PeerAddress peer;
  size_t length = 0;
  std::array<uint8_t, kMaxChatPacket> bytes{};
  ChatSubtype subtype = ChatSubtype::Text;
  uint32_t serial = 0;
  bool in_use = false;
  int32_t first_sent = 0;   // NowMs
  int32_t last_sent = 0;    // NowMs
  int32_t interval_ms = 0;  // until the next resend; doubles with each one
  int32_t deadline = 0;     // NowMs of the next resend
  uint16_t resends = 0;
  // Acknowledgements of fragments sent after this one since it last left:
  // a few of them mean this one is lost, without waiting for its deadline.
  uint16_t overtaken = 0;
  uint32_t overtaken_after = 0;  // only acknowledgements of later serials count

  std::span<const uint8_t> packet() const { return {bytes.data(), length}; }
};

struct AcknowledgedPacket {
  ChatSubtype subtype = ChatSubtype::Text;
  bool was_in_use = false;  // false: a repeated acknowledgement
  int32_t first_sent = 0;
  bool resent = false;  // its round trip says nothing
};

class PendingChatPackets {
 public:
  static constexpr size_t kMaxRecords = 1024;

  // Keeps a copy of packet for peer; a free record is reused before a new
  // one is made. Null when every record is in use and the cap is reached.
  PendingChatPacket* Keep(PeerAddress peer, std::span<const uint8_t> packet, int32_t now_ms, int32_t interval_ms);

  // Frees the first record to peer carrying serial, in use or not. Only the
  // peer's own records: serials are small and counted up, so anyone else
  // could guess them and stop retransmissions.
  std::optional<AcknowledgedPacket> Acknowledge(uint32_t serial, PeerAddress peer);

  bool HasUnacknowledged(PeerAddress peer) const;
  // Records in use to peer of this subtype with a serial of at least
  // min_serial (the packets of one transfer).
  size_t CountInUse(PeerAddress peer, ChatSubtype subtype, uint32_t min_serial) const;

  // Calls visit(record) for every record in use, newest first.
  template <typename Visit>
  void ForEachInUse(Visit&& visit) {
    for (PendingChatPacket& record : records_) {
      if (record.in_use) visit(record);
    }
  }

  void ReleaseAll();
  size_t RecordCount() const { return record_count_; }

 private:
  std::forward_list<PendingChatPacket> records_;
  size_t record_count_ = 0;
};

}  // namespace vorn
