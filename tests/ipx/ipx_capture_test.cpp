#include "ipx/ipx_capture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "ipx/dosbox_test_support.h"
#include "support/temp_dir.h"

namespace vorn {
namespace {

using dosbox_test::Bytes;

uint32_t Little32(const Bytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// The file read back as a packet analyser reads it: the pcap header, then
// per record an Ethernet frame whose type is IPX and whose addresses are the
// IPX nodes, carrying the packet unchanged.
TEST(IpxCapture, WritesEthernetFramesCarryingTheIpxPackets) {
  TempDir dir;
  const std::string path = dir.File("games.pcap");
  const std::vector<Bytes> packets = {dosbox_test::GamePacket(dosbox_test::kBroadcastNode, {1, 2, 3}),
                                      dosbox_test::GamePacket(dosbox_test::kPeerNode, {4})};
  {
    PcapWriter writer;
    ASSERT_TRUE(writer.Open(path));
    for (const Bytes& packet : packets) writer.OnIpxPacket(packet, false);
    writer.OnIpxPacket(Bytes(29, 0), true);  // shorter than an IPX header: left out
    EXPECT_EQ(writer.written(), 2u);
  }
  std::ifstream in(path, std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GE(file.size(), kPcapFileHeaderSize);
  EXPECT_EQ(Little32(file, 0), 0xA1B2C3D4u);
  EXPECT_EQ(Little32(file, 20), 1u);  // Ethernet
  size_t at = kPcapFileHeaderSize;
  for (const Bytes& packet : packets) {
    ASSERT_LE(at + kPcapRecordHeaderSize, file.size());
    const uint32_t length = Little32(file, at + 8);
    EXPECT_EQ(length, kEthernetHeaderSize + packet.size());
    ASSERT_LE(at + kPcapRecordHeaderSize + length, file.size());
    const Bytes frame(file.begin() + at + kPcapRecordHeaderSize, file.begin() + at + kPcapRecordHeaderSize + length);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 6), Bytes(packet.begin() + 10, packet.begin() + 16));
    EXPECT_EQ(Bytes(frame.begin() + 6, frame.begin() + 12), Bytes(packet.begin() + 22, packet.begin() + 28));
    EXPECT_EQ(Bytes(frame.begin() + 12, frame.begin() + 14), (Bytes{0x81, 0x37}));
    EXPECT_EQ(Bytes(frame.begin() + 14, frame.end()), packet);
    at += kPcapRecordHeaderSize + length;
  }
  EXPECT_EQ(at, file.size());
}

}  // namespace
}  // namespace vorn
