#pragma once
// The IPX packets that DOSBox tunnels over UDP: one datagram is one packet,
// a 30-byte big-endian header followed by the data. A node number is an IPv4
// address and a UDP port, so it maps onto a PeerAddress directly.
//
// Also the two conversions the DOSBox driver makes on its hot paths: an IPX
// packet into a ring slot's packet, and a game frame into an IPX packet.
// Neither allocates.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "ipx/packet_ring.h"
#include "net/messages.h"
#include "platform/peer_address.h"

namespace vorn {

inline constexpr size_t kIpxHeaderSize = 30;
// The largest packet DOSBox sends or accepts, header included.
inline constexpr size_t kIpxMaxPacketSize = 1424;
inline constexpr uint16_t kIpxNoChecksum = 0xFFFF;
// The socket of the tunnel's own traffic: registration and `ipxnet ping`.
inline constexpr IpxSocket kIpxTunnelSocket = {0x00, 0x02};

struct IpxHeader {
  uint16_t checksum = kIpxNoChecksum;
  uint16_t length = 0;  // header and data
  uint8_t transport_control = 0;
  uint8_t packet_type = 0;
  uint32_t destination_network = 0;
  PeerAddress destination_node;  // FF FF FF FF FF FF: broadcast
  IpxSocket destination_socket = {};
  uint32_t source_network = 0;
  PeerAddress source_node;
  IpxSocket source_socket = {};
};

struct IpxPacket {
  IpxHeader header;
  std::span<const uint8_t> data;  // points into the datagram
};

// nullopt when the datagram is shorter than the header or its length field
// disagrees with the datagram's size.
std::optional<IpxPacket> ParseIpxPacket(std::span<const uint8_t> datagram);
// Writes the header (with its length field taken from data) and the data.
// Returns the size written, 0 when it does not fit.
size_t BuildIpxPacket(std::span<uint8_t> out, const IpxHeader& header, std::span<const uint8_t> data);

// A client asking for its node number: tunnel socket, destination address 0.
bool IsRegistrationRequest(const IpxPacket& packet);
// The answer: client_node becomes the client's own node; server_node names
// the answering end.
size_t BuildRegistrationReply(std::span<uint8_t> out, PeerAddress client_node, PeerAddress server_node);

// What goes into a ring slot for a packet DOSBox sent: the destination
// node's address and port (the all-ones broadcast address stays as it is),
// both sockets as they travel, and the data.
SlotPacket ToSlotPacket(const IpxPacket& packet, int32_t sequence);
// Whether a slot can carry a packet to this node: a slot's first word hands
// it over, so it never holds an address 0.x.x.x, and no such address can be
// reached anyway.
inline bool IsReachableNode(PeerAddress node) { return (node.ip >> 24) != 0; }

// The destination node FF FF FF FF FF FF: a packet to everyone.
inline constexpr PeerAddress kIpxBroadcastNode{0xFFFFFFFF, 0xFFFF};

// The IPX packet for a game frame from sender to destination (the client's
// node, or kIpxBroadcastNode). Returns the size written, 0 when the frame is
// not a game frame or does not fit into out.
size_t BuildPacketFromFrame(std::span<uint8_t> out, std::span<const uint8_t> frame, PeerAddress sender,
                            PeerAddress destination);

}  // namespace vorn
