#pragma once
// A capture file of the IPX packets that pass between a node and its games,
// for anyone debugging a game that does not see its peers. Each packet is
// written as an Ethernet II frame with ethertype 0x8137 (IPX), with the IPX
// nodes as the MAC addresses, in the classic pcap format that packet
// analysers read as IPX.
#include <array>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>

#include "ipx/dosbox_packet.h"

namespace vorn {

// Sees the IPX packets passing a driver; called from several threads.
class IpxTap {
 public:
  virtual ~IpxTap() = default;
  // to_game: delivered to the game; otherwise sent by it.
  virtual void OnIpxPacket(std::span<const uint8_t> packet, bool to_game) = 0;
};

inline constexpr uint16_t kIpxEthertype = 0x8137;
inline constexpr size_t kPcapFileHeaderSize = 24;
inline constexpr size_t kPcapRecordHeaderSize = 16;
inline constexpr size_t kEthernetHeaderSize = 14;

class PcapWriter final : public IpxTap {
 public:
  PcapWriter() = default;
  ~PcapWriter() override;
  PcapWriter(const PcapWriter&) = delete;
  PcapWriter& operator=(const PcapWriter&) = delete;

  // Creates path (replacing it) and writes the file header.
  bool Open(const std::string& path);
  // Packets shorter than an IPX header are left out. No allocation: the
  // record is laid out in a buffer of its own and written in one piece.
  void OnIpxPacket(std::span<const uint8_t> packet, bool to_game) override;
  uint64_t written() const;

 private:
  mutable std::mutex mutex_;
  std::FILE* file_ = nullptr;
  uint64_t written_ = 0;
  std::array<uint8_t, kPcapRecordHeaderSize + kEthernetHeaderSize + kIpxMaxPacketSize> record_{};
};

// The record for packet at the given time: pcap record header, Ethernet
// header, the packet. 0 when out is too small or the packet too short.
size_t BuildPcapRecord(std::span<uint8_t> out, std::span<const uint8_t> packet, int64_t unix_us);

}  // namespace vorn
