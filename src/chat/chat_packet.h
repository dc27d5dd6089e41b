#pragma once
// Chat packets: a game frame for the chat socket whose packet is the chat
// header and a payload, and the file fragment carried in such a payload.
// Every chat integer is little-endian, unlike the addresses of the protocol.
//
// Offsets of a whole chat datagram:
//    0  4  "VORN"
//    4  1  '0' to a peer, 'B' to the server for relaying
//    5  4  frame sequence number
//    9  2  destination socket 27 8E
//   11  2  source socket 27 8E
//   13  2  subtype
//   15 16  sender's channel, zero-terminated
//   31 16  sender's nickname, zero-terminated
//   47  4  serial, named by the acknowledgement
//   51 12  reserved: zeros, or what the sender can do beyond the protocol
//          (net/peer_capabilities.h)
//   63  n  payload, at most 600 bytes
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/peer_address.h"

namespace vorn {

// Values that travel; any other value is ignored.
enum class ChatSubtype : uint16_t {
  Text = 0,
  Hello = 1,
  Quit = 3,
  Part = 4,
  WhoQuery = 6,
  WhoReply = 7,
  Action = 8,
  Private = 9,
  PingRequest = 10,
  PingReply = 11,
  Ack = 12,
  Unnamed14 = 14,  // never sent; answered as a request for a file not offered
  Unnamed19 = 19,  // likewise
  FileRequest = 24,
  NoFileOffered = 25,
  FileFragment = 26,
  DownloadCancelled = 27,
};

inline constexpr size_t kChatBodyOffset = 13;  // where the chat header begins
inline constexpr size_t kChatHeaderSize = 63;  // frame and chat header
inline constexpr size_t kChatBodyHeaderSize = kChatHeaderSize - kChatBodyOffset;
inline constexpr size_t kMaxChatPayload = 600;
inline constexpr size_t kMaxChatPacket = kChatHeaderSize + kMaxChatPayload;
inline constexpr size_t kChatNameField = 16;  // channel and nickname fields
inline constexpr size_t kChatNameMax = kChatNameField - 1;
inline constexpr size_t kChatReservedSize = 12;
inline constexpr size_t kChatPayloadOffset = kChatHeaderSize;

inline constexpr size_t kFragmentHeaderSize = 6;
inline constexpr size_t kMaxFragmentData = 500;
inline constexpr size_t kMaxFragmentPayload = kFragmentHeaderSize + kMaxFragmentData;

struct ChatHeader {
  char type = '0';
  uint32_t sequence = 0;
  ChatSubtype subtype = ChatSubtype::Text;
  std::string_view channel;   // cut to 15 characters
  std::string_view nickname;  // cut to 15 characters
  uint32_t serial = 0;
  uint32_t capabilities = 0;  // announced in the reserved bytes; 0: zeros
};

// A received chat packet from its subtype on; views into the datagram.
struct ChatPacketView {
  ChatSubtype subtype = ChatSubtype::Text;
  std::string_view channel;   // at most 15 characters
  std::string_view nickname;  // at most 15 characters
  uint32_t serial = 0;
  std::span<const uint8_t> reserved;
  std::span<const uint8_t> payload;
};

struct ChatDatagramView {
  char type = '0';
  uint32_t sequence = 0;
  ChatPacketView packet;
};

struct FileFragmentView {
  uint16_t count = 0;  // data bytes; fewer than 500 marks the last fragment
  uint32_t offset = 0;
  std::span<const uint8_t> data;
};

// The whole datagram, 63 + payload bytes; 0 when the payload is longer than
// 600 bytes or out is too small.
size_t BuildChatPacket(std::span<uint8_t> out, const ChatHeader& header, std::span<const uint8_t> payload);

// body: the datagram from offset 13. nullopt when it is shorter than the
// chat header.
std::optional<ChatPacketView> ParseChatBody(std::span<const uint8_t> body);

// A whole datagram: "VORN", type '0' or 'B', both sockets 27 8E, a full
// chat header.
std::optional<ChatDatagramView> ParseChatDatagram(std::span<const uint8_t> datagram);

// A resent copy leaves with a new frame sequence number: receivers drop a
// frame older than the newest one seen from its sender.
void SetChatSequence(std::span<uint8_t> packet, uint32_t sequence);

// The subtype and serial of a packet this side built (for the pending list).
ChatSubtype BuiltChatSubtype(std::span<const uint8_t> packet);
uint32_t BuiltChatSerial(std::span<const uint8_t> packet);

// A payload's text: up to its first zero byte or the end of the payload.
std::string_view PayloadText(std::span<const uint8_t> payload);

// A decimal number as this side writes serials: leading blanks, then
// digits, kept modulo 2^32. 0 without digits.
uint32_t ParseSerial(std::string_view text);

// At most 500 data bytes; returns the payload size or 0 when it does not fit.
size_t BuildFileFragment(std::span<uint8_t> out, uint32_t offset, std::span<const uint8_t> data);

// nullopt when the payload is shorter than the fragment header, or its count
// exceeds 500 or the bytes that follow it.
std::optional<FileFragmentView> ParseFileFragment(std::span<const uint8_t> payload);

// "a.b.c.d" with ":port" unless the port is the default 2213.
std::string FormatPeerAddress(PeerAddress peer);

}  // namespace vorn
