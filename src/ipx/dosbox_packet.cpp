#include "ipx/dosbox_packet.h"

#include <limits>

#include "net/address_io.h"
#include "platform/byte_io.h"

namespace vorn {
namespace {

// The client's network: every tunnel client sits on network 0.
constexpr uint32_t kClientNetwork = 0;
// The answering end names itself on network 1, as tunnel servers do.
constexpr uint32_t kServerNetwork = 1;
// The frame does not carry the sender's packet type; games send plain IPX
// packets, type 4, so that is what they see arrive.
constexpr uint8_t kIpxPacketType = 4;

}  // namespace

std::optional<IpxPacket> ParseIpxPacket(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  IpxPacket packet;
  IpxHeader& h = packet.header;
  h.checksum = r.U16Be();
  h.length = r.U16Be();
  h.transport_control = r.U8();
  h.packet_type = r.U8();
  h.destination_network = r.U32Be();
  h.destination_node = ReadAddress(r);
  h.destination_socket = ReadSocket(r);
  h.source_network = r.U32Be();
  h.source_node = ReadAddress(r);
  h.source_socket = ReadSocket(r);
  if (!r.ok() || h.length != datagram.size()) return std::nullopt;
  packet.data = r.Bytes(r.remaining());
  return packet;
}

size_t BuildIpxPacket(std::span<uint8_t> out, const IpxHeader& header, std::span<const uint8_t> data) {
  const size_t total = kIpxHeaderSize + data.size();
  if (total > std::numeric_limits<uint16_t>::max()) return 0;
  ByteWriter w(out);
  w.U16Be(header.checksum);
  w.U16Be(static_cast<uint16_t>(total));
  w.U8(header.transport_control);
  w.U8(header.packet_type);
  w.U32Be(header.destination_network);
  WriteAddress(w, header.destination_node);
  w.Bytes(header.destination_socket);
  w.U32Be(header.source_network);
  WriteAddress(w, header.source_node);
  w.Bytes(header.source_socket);
  w.Bytes(data);
  return w.ok() ? w.size() : 0;
}

bool IsRegistrationRequest(const IpxPacket& packet) {
  return packet.header.destination_socket == kIpxTunnelSocket && packet.header.destination_node.ip == 0;
}

size_t BuildRegistrationReply(std::span<uint8_t> out, PeerAddress client_node, PeerAddress server_node) {
  IpxHeader header;
  header.destination_network = kClientNetwork;
  header.destination_node = client_node;
  header.destination_socket = kIpxTunnelSocket;
  header.source_network = kServerNetwork;
  header.source_node = server_node;
  header.source_socket = kIpxTunnelSocket;
  return BuildIpxPacket(out, header, {});
}

SlotPacket ToSlotPacket(const IpxPacket& packet, int32_t sequence) {
  return {.destination = packet.header.destination_node,
          .sequence = sequence,
          .destination_socket = packet.header.destination_socket,
          .source_socket = packet.header.source_socket,
          .payload = packet.data};
}

size_t BuildPacketFromFrame(std::span<uint8_t> out, std::span<const uint8_t> frame, PeerAddress sender,
                            PeerAddress destination) {
  std::optional<GameFrame> parsed = ParseGameFrame(frame);
  if (!parsed) return 0;
  IpxHeader header;
  header.packet_type = kIpxPacketType;
  header.destination_network = kClientNetwork;
  header.destination_node = destination;
  header.destination_socket = parsed->destination_socket;
  header.source_network = kClientNetwork;  // every player shares the client's network
  header.source_node = sender;
  header.source_socket = parsed->source_socket;
  return BuildIpxPacket(out, header, parsed->payload);
}

}  // namespace vorn
