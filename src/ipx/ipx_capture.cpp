#include "ipx/ipx_capture.h"

#include <chrono>

#include <algorithm>

namespace vorn {
namespace {

constexpr uint32_t kPcapMagic = 0xA1B2C3D4;  // microsecond time stamps
constexpr uint32_t kLinkTypeEthernet = 1;
constexpr uint32_t kSnapLength = 65535;
constexpr size_t kDestinationNodeOffset = 10;
constexpr size_t kSourceNodeOffset = 22;
constexpr size_t kNodeSize = 6;

// pcap's own fields are in the writer's byte order; the magic number tells
// readers which one. Little-endian here, written explicitly.
void Put32(std::span<uint8_t> out, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

size_t BuildPcapRecord(std::span<uint8_t> out, std::span<const uint8_t> packet, int64_t unix_us) {
  const size_t frame = kEthernetHeaderSize + packet.size();
  if (packet.size() < kIpxHeaderSize || out.size() < kPcapRecordHeaderSize + frame) return 0;
  Put32(out, 0, static_cast<uint32_t>(unix_us / 1000000));
  Put32(out, 4, static_cast<uint32_t>(unix_us % 1000000));
  Put32(out, 8, static_cast<uint32_t>(frame));   // bytes in the file
  Put32(out, 12, static_cast<uint32_t>(frame));  // bytes on the wire
  uint8_t* ethernet = out.data() + kPcapRecordHeaderSize;
  std::copy_n(packet.data() + kDestinationNodeOffset, kNodeSize, ethernet);
  std::copy_n(packet.data() + kSourceNodeOffset, kNodeSize, ethernet + kNodeSize);
  ethernet[12] = static_cast<uint8_t>(kIpxEthertype >> 8);
  ethernet[13] = static_cast<uint8_t>(kIpxEthertype & 0xFF);
  std::copy(packet.begin(), packet.end(), ethernet + kEthernetHeaderSize);
  return kPcapRecordHeaderSize + frame;
}

PcapWriter::~PcapWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool PcapWriter::Open(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) return false;
  std::array<uint8_t, kPcapFileHeaderSize> header{};
  Put32(header, 0, kPcapMagic);
  header[4] = 2;  // version 2.4
  header[6] = 4;
  Put32(header, 16, kSnapLength);
  Put32(header, 20, kLinkTypeEthernet);
  return std::fwrite(header.data(), 1, header.size(), file_) == header.size() && std::fflush(file_) == 0;
}

void PcapWriter::OnIpxPacket(std::span<const uint8_t> packet, bool) {
  const int64_t now_us =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  const size_t size = BuildPcapRecord(record_, packet, now_us);
  if (size == 0) return;
  // Flushed per packet: the file is read while the node runs, and a node
  // that is killed keeps what it captured.
  if (std::fwrite(record_.data(), 1, size, file_) == size && std::fflush(file_) == 0) ++written_;
}

uint64_t PcapWriter::written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

}  // namespace vorn
