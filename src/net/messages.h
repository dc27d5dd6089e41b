#pragma once
// The message catalogue: every datagram is "VORN", one type byte and the
// payload of that type. Each layout is written and read here, field by
// field at fixed offsets, so no other module needs to know them.
//
// Builders write into the caller's buffer and return the size written, or 0
// when the message does not fit (or the type byte does not belong to that
// layout); they never allocate, so they suit the hot send paths.
// Parsers return views into the datagram they were given (texts and byte
// spans point into it, nothing is copied) and nullopt when the datagram is
// shorter than the layout, lacks the frame or carries another type. Fields
// that are reserved or unused are written as zeros and never checked.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "net/link_probe.h"
#include "net/parity.h"
#include "platform/peer_address.h"

namespace vorn {

inline constexpr std::array<uint8_t, 4> kMagic = {'V', 'O', 'R', 'N'};
inline constexpr size_t kTypeOffset = 4;
inline constexpr size_t kFrameSize = 5;  // magic and type byte
inline constexpr size_t kMaxDatagram = 2048;
inline constexpr size_t kWrapHeaderSize = 11;
inline constexpr size_t kMinWrapSize = 16;  // a wrap must hold at least a frame
inline constexpr size_t kAddressMessageSize = 11;
inline constexpr size_t kHelloSize = 276;
inline constexpr size_t kPingSize = 20;
inline constexpr size_t kGameFrameHeaderSize = 13;
inline constexpr size_t kPlayerInfoRequestSize = 21;
inline constexpr size_t kPlayerInfoForwardedPrefix = 20;  // bytes of the request kept
inline constexpr size_t kForwardedPlayerInfoSize = 26;
inline constexpr std::string_view kProtocolVersion = "1.2x1";

// Widths of the fixed text fields, terminating zero included.
inline constexpr size_t kNicknameField = 16;
inline constexpr size_t kVersionField = 6;
inline constexpr size_t kHelloTextField = 75;       // e-mail, real name, other
inline constexpr size_t kPingRequestNameField = 8;  // may be filled completely
inline constexpr size_t kPingReplyNameField = 9;
inline constexpr size_t kForwardedNicknameField = 15;

// Type bytes.
inline constexpr char kTypeProxyWrap = 'P';
inline constexpr char kTypeProxyHello = '<';
inline constexpr char kTypeProxyWelcome = '>';
inline constexpr char kTypeHello = '1';
inline constexpr char kTypeAccepted = '2';
inline constexpr char kTypeRejectedFull = '7';
inline constexpr char kTypeRejectedVersion = '8';
inline constexpr char kTypeRejectedNickname = 'n';
inline constexpr char kTypeBye = '3';
inline constexpr char kTypeByeAcknowledged = '4';
inline constexpr char kTypePingRequest = '6';
inline constexpr char kTypePingReply = 'A';
inline constexpr char kTypeGameFrame = '0';
inline constexpr char kTypeBroadcastFrame = 'B';
inline constexpr char kTypePlayerListRequest = 'Q';
inline constexpr char kTypeNamesRequest = 'U';
inline constexpr char kTypeMotdRequest = 'M';
inline constexpr char kTypePlayerInfoRequest = 'W';
inline constexpr char kTypeServerListRequest = 'q';
inline constexpr char kTypeServerListUpdateRequest = '=';
inline constexpr char kTypeServerList = '-';
inline constexpr char kTypeText = 'v';
inline constexpr char kTypeTextLine = 'w';

// One row of the table of message types.
struct MessageType {
  char type;
  std::string_view name;
  uint16_t minimum_length;  // below it the datagram is dropped
};

// The player information request is laid out in 21 bytes, but peers have
// always admitted it from 20 on; its parser asks for the full layout.
inline constexpr uint16_t kPlayerInfoRequestMinimum = 20;

// Every type the system accepts: the dispatcher drops any other, and the
// tests walk it. A new message adds its row here, then its builder, parser
// and handler.
inline constexpr std::array<MessageType, 25> kMessageTypes = {{
    {kTypeProxyWrap, "proxy wrap", kMinWrapSize},
    {kTypeProxyHello, "proxy hello", kFrameSize},
    {kTypeProxyWelcome, "proxy welcome", kAddressMessageSize},
    {kTypeHello, "hello", kHelloSize},
    {kTypeAccepted, "accepted", kFrameSize},
    {kTypeRejectedFull, "rejected: full", kFrameSize},
    {kTypeRejectedVersion, "rejected: version", kFrameSize},
    {kTypeRejectedNickname, "rejected: nickname", kFrameSize},
    {kTypeBye, "bye", kFrameSize},
    {kTypeByeAcknowledged, "bye acknowledged", kFrameSize},
    {kTypePingRequest, "ping request", kPingSize},
    {kTypePingReply, "ping reply", kPingSize},
    {kTypeGameFrame, "game frame", kGameFrameHeaderSize},
    {kTypeBroadcastFrame, "broadcast frame", kGameFrameHeaderSize},
    {kTypePlayerListRequest, "player list request", kFrameSize},
    {kTypeNamesRequest, "names request", kFrameSize},
    {kTypeMotdRequest, "message of the day request", kFrameSize},
    {kTypePlayerInfoRequest, "player information request", kPlayerInfoRequestMinimum},
    {kTypeServerListRequest, "server list request", kFrameSize},
    {kTypeServerListUpdateRequest, "server list update request", kFrameSize},
    {kTypeServerList, "server list", kFrameSize},
    {kTypeText, "text", kFrameSize},
    {kTypeTextLine, "text line", kFrameSize},
    {kTypeLinkProbe, "link probe", kLinkProbeSize},
    {kTypeParity, "parity", kParityHeaderSize + 1},
}};

// An IPX socket number as the two bytes that travel (network order).
using IpxSocket = std::array<uint8_t, 2>;
inline constexpr IpxSocket MakeIpxSocket(uint16_t number) {
  return {static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)};
}
inline constexpr uint16_t IpxSocketNumber(IpxSocket socket) {
  return static_cast<uint16_t>(socket[0] << 8 | socket[1]);
}
inline constexpr IpxSocket kChatSocket = {0x27, 0x8E};
inline constexpr IpxSocket kDirectPlaySocket = {0x53, 0x22};

// The DirectPlay presence probe: five marker bytes at a fixed offset.
inline constexpr size_t kProbeOffset = 13;
inline constexpr size_t kMinProbeSize = 18;
inline constexpr std::string_view kProbeMarker = "VMECH";
inline constexpr std::string_view kProbeAnswerMarker = "vmech";
enum class ProbeForm { kNone, kProbe, kAnswer };
ProbeForm FindProbe(std::span<const uint8_t> datagram);

// At least a frame, beginning with the magic.
bool IsVornFrame(std::span<const uint8_t> datagram);
// The types that are the frame alone ("VORN<", "VORN3", "VORNQ", ...).
bool IsFrameOnlyType(char type);
// A game frame's sequence number; frame holds at least the frame header.
int32_t GameFrameSequence(std::span<const uint8_t> frame);

// ---- message views --------------------------------------------------------

struct ProxyWrap {
  PeerAddress address;             // destination, or first sender when relayed
  std::span<const uint8_t> inner;  // the wrapped datagram, from its "VORN"
};

// ">" (proxy welcome) and "2" (accepted): the receiver's address as the
// sender sees it. An acceptance shorter than the full layout carries none.
struct AddressMessage {
  char type = kTypeAccepted;
  std::optional<PeerAddress> address;
};

struct HelloRecord {
  std::string_view nickname;   // at most 15 characters travel
  std::string_view email;      // at most 74
  std::string_view real_name;  // at most 74
  std::string_view other;      // at most 74
  std::string_view version = kProtocolVersion;
};

struct PingRequest {
  std::string_view game_name;  // at most 8 characters
  uint32_t time_stamp_ms = 0;  // the server's clock, echoed unchanged
};

struct PingReply {
  std::string_view game_name;  // at most 8 characters
  uint32_t time_stamp_ms = 0;  // copied from the request
  IpxSocket game_socket = kChatSocket;
};

struct GameFrame {
  char type = kTypeGameFrame;  // kTypeGameFrame or kTypeBroadcastFrame
  int32_t sequence = 0;
  IpxSocket destination_socket = {};
  IpxSocket source_socket = {};
  std::span<const uint8_t> payload;
};

struct PlayerInfoRequest {
  std::string_view nickname;  // at most 15 characters
};

// A player information request as a server passes it on to the tracker.
struct ForwardedPlayerInfo {
  std::string_view nickname;  // at most 15 characters, maybe unterminated
  PeerAddress client;         // who asked; the tracker answers there
};

// "v" (shown as is), "w" (shown with a line end) and "-" (server list).
struct TextMessage {
  char type = kTypeTextLine;
  std::string_view text;  // without its terminating zero
};

// ---- builders ---------------------------------------------------------------

size_t BuildFrameOnly(std::span<uint8_t> out, char type);
size_t BuildProxyWrap(std::span<uint8_t> out, const ProxyWrap& wrap);
// type is kTypeProxyWelcome or kTypeAccepted; always the full 11 bytes.
size_t BuildAddressMessage(std::span<uint8_t> out, char type, PeerAddress address);
size_t BuildHello(std::span<uint8_t> out, const HelloRecord& hello);
size_t BuildPingRequest(std::span<uint8_t> out, const PingRequest& request);
size_t BuildPingReply(std::span<uint8_t> out, const PingReply& reply);
size_t BuildGameFrame(std::span<uint8_t> out, const GameFrame& frame);
size_t BuildPlayerInfoRequest(std::span<uint8_t> out, const PlayerInfoRequest& request);
// request: a received player information request; its first 20 bytes are
// passed on unchanged, followed by the asking client's address.
size_t BuildForwardedPlayerInfo(std::span<uint8_t> out, std::span<const uint8_t> request, PeerAddress client);
size_t BuildText(std::span<uint8_t> out, const TextMessage& message);

// ---- parsers ----------------------------------------------------------------

// The type byte of a frame-only message.
std::optional<char> ParseFrameOnly(std::span<const uint8_t> datagram);
std::optional<ProxyWrap> ParseProxyWrap(std::span<const uint8_t> datagram);
std::optional<AddressMessage> ParseAddressMessage(std::span<const uint8_t> datagram);
std::optional<HelloRecord> ParseHello(std::span<const uint8_t> datagram);
std::optional<PingRequest> ParsePingRequest(std::span<const uint8_t> datagram);
std::optional<PingReply> ParsePingReply(std::span<const uint8_t> datagram);
std::optional<GameFrame> ParseGameFrame(std::span<const uint8_t> datagram);
std::optional<PlayerInfoRequest> ParsePlayerInfoRequest(std::span<const uint8_t> datagram);
std::optional<ForwardedPlayerInfo> ParseForwardedPlayerInfo(std::span<const uint8_t> datagram);
std::optional<TextMessage> ParseText(std::span<const uint8_t> datagram);

}  // namespace vorn
