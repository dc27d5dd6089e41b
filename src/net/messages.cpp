#include "net/messages.h"

#include <algorithm>

#include "net/address_io.h"
#include "platform/byte_io.h"

namespace vorn {
namespace {

constexpr std::string_view kFrameOnlyTypes = "<3478nQUMq=";

bool IsTextType(char type) { return type == kTypeText || type == kTypeTextLine || type == kTypeServerList; }

bool IsGameFrameType(char type) { return type == kTypeGameFrame || type == kTypeBroadcastFrame; }

void WriteFrame(ByteWriter& w, char type) {
  w.Bytes(kMagic);
  w.U8(static_cast<uint8_t>(type));
}

// Reads the frame and returns its type byte; 0 (and a failed reader) when
// the input is too short or lacks the magic.
char ReadFrame(ByteReader& r) {
  std::span<const uint8_t> magic = r.Bytes(kMagic.size());
  char type = static_cast<char>(r.U8());
  if (!r.ok() || !std::ranges::equal(magic, kMagic)) return 0;
  return type;
}

size_t Finish(const ByteWriter& w) { return w.ok() ? w.size() : 0; }

}  // namespace

ProbeForm FindProbe(std::span<const uint8_t> datagram) {
  if (datagram.size() < kMinProbeSize) return ProbeForm::kNone;
  std::span<const uint8_t> marker = datagram.subspan(kProbeOffset, kProbeMarker.size());
  if (std::ranges::equal(marker, AsBytes(kProbeMarker))) return ProbeForm::kProbe;
  if (std::ranges::equal(marker, AsBytes(kProbeAnswerMarker))) return ProbeForm::kAnswer;
  return ProbeForm::kNone;
}

bool IsVornFrame(std::span<const uint8_t> datagram) {
  return datagram.size() >= kFrameSize && std::equal(kMagic.begin(), kMagic.end(), datagram.begin());
}

int32_t GameFrameSequence(std::span<const uint8_t> frame) {
  ByteReader reader(frame.subspan(kTypeOffset + 1, 4));
  return static_cast<int32_t>(reader.U32Le());
}

bool IsFrameOnlyType(char type) { return type != 0 && kFrameOnlyTypes.find(type) != std::string_view::npos; }

// ---- builders ---------------------------------------------------------------

size_t BuildFrameOnly(std::span<uint8_t> out, char type) {
  if (!IsFrameOnlyType(type)) return 0;
  ByteWriter w(out);
  WriteFrame(w, type);
  return Finish(w);
}

size_t BuildProxyWrap(std::span<uint8_t> out, const ProxyWrap& wrap) {
  ByteWriter w(out);
  WriteFrame(w, kTypeProxyWrap);
  WriteAddress(w, wrap.address);
  w.Bytes(wrap.inner);
  return Finish(w);
}

size_t BuildAddressMessage(std::span<uint8_t> out, char type, PeerAddress address) {
  if (type != kTypeProxyWelcome && type != kTypeAccepted) return 0;
  ByteWriter w(out);
  WriteFrame(w, type);
  WriteAddress(w, address);
  return Finish(w);
}

size_t BuildHello(std::span<uint8_t> out, const HelloRecord& hello) {
  ByteWriter w(out);
  WriteFrame(w, kTypeHello);
  w.TerminatedText(hello.nickname, kNicknameField);
  w.Zeros(6);
  w.TerminatedText(hello.version, kVersionField);
  w.Zeros(12);
  w.TerminatedText(hello.email, kHelloTextField);
  w.TerminatedText(hello.real_name, kHelloTextField);
  w.TerminatedText(hello.other, kHelloTextField);
  w.Zeros(6);
  return Finish(w);
}

size_t BuildPingRequest(std::span<uint8_t> out, const PingRequest& request) {
  ByteWriter w(out);
  WriteFrame(w, kTypePingRequest);
  w.FixedText(request.game_name, kPingRequestNameField);
  w.U8(0);
  w.U32Le(request.time_stamp_ms);
  w.Zeros(2);
  return Finish(w);
}

size_t BuildPingReply(std::span<uint8_t> out, const PingReply& reply) {
  ByteWriter w(out);
  WriteFrame(w, kTypePingReply);
  w.TerminatedText(reply.game_name, kPingReplyNameField);
  w.U32Le(reply.time_stamp_ms);
  w.Bytes(reply.game_socket);
  return Finish(w);
}

size_t BuildGameFrame(std::span<uint8_t> out, const GameFrame& frame) {
  if (!IsGameFrameType(frame.type)) return 0;
  ByteWriter w(out);
  WriteFrame(w, frame.type);
  w.U32Le(static_cast<uint32_t>(frame.sequence));
  w.Bytes(frame.destination_socket);
  w.Bytes(frame.source_socket);
  w.Bytes(frame.payload);
  return Finish(w);
}

size_t BuildPlayerInfoRequest(std::span<uint8_t> out, const PlayerInfoRequest& request) {
  ByteWriter w(out);
  WriteFrame(w, kTypePlayerInfoRequest);
  w.TerminatedText(request.nickname, kNicknameField);
  return Finish(w);
}

size_t BuildForwardedPlayerInfo(std::span<uint8_t> out, std::span<const uint8_t> request, PeerAddress client) {
  ByteReader r(request);
  if (ReadFrame(r) != kTypePlayerInfoRequest || request.size() < kPlayerInfoForwardedPrefix) return 0;
  ByteWriter w(out);
  w.Bytes(request.first(kPlayerInfoForwardedPrefix));
  WriteAddress(w, client);
  return Finish(w);
}

size_t BuildText(std::span<uint8_t> out, const TextMessage& message) {
  if (!IsTextType(message.type)) return 0;
  ByteWriter w(out);
  WriteFrame(w, message.type);
  w.Text(message.text);
  w.U8(0);
  return Finish(w);
}

// ---- parsers ----------------------------------------------------------------

std::optional<char> ParseFrameOnly(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  char type = ReadFrame(r);
  if (!r.ok() || !IsFrameOnlyType(type)) return std::nullopt;
  return type;
}

std::optional<ProxyWrap> ParseProxyWrap(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  if (ReadFrame(r) != kTypeProxyWrap || datagram.size() < kMinWrapSize) return std::nullopt;
  ProxyWrap wrap;
  wrap.address = ReadAddress(r);
  wrap.inner = r.Bytes(r.remaining());
  if (!r.ok()) return std::nullopt;
  return wrap;
}

std::optional<AddressMessage> ParseAddressMessage(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  AddressMessage message;
  message.type = ReadFrame(r);
  if (message.type != kTypeProxyWelcome && message.type != kTypeAccepted) return std::nullopt;
  // An acceptance may come without the address; a cut address is no address
  // rather than one made of whatever follows the datagram.
  if (datagram.size() < kAddressMessageSize) {
    if (message.type == kTypeAccepted) return message;
    return std::nullopt;
  }
  message.address = ReadAddress(r);
  return message;
}

std::optional<HelloRecord> ParseHello(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  if (ReadFrame(r) != kTypeHello) return std::nullopt;
  HelloRecord hello;
  hello.nickname = r.FixedText(kNicknameField);
  r.Skip(6);
  hello.version = r.FixedText(kVersionField);
  r.Skip(12);
  hello.email = r.FixedText(kHelloTextField);
  hello.real_name = r.FixedText(kHelloTextField);
  hello.other = r.FixedText(kHelloTextField);
  r.Skip(6);
  if (!r.ok()) return std::nullopt;
  return hello;
}

std::optional<PingRequest> ParsePingRequest(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  if (ReadFrame(r) != kTypePingRequest) return std::nullopt;
  PingRequest request;
  request.game_name = r.FixedText(kPingRequestNameField);
  r.Skip(1);
  request.time_stamp_ms = r.U32Le();
  r.Skip(2);
  if (!r.ok()) return std::nullopt;
  return request;
}

std::optional<PingReply> ParsePingReply(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  if (ReadFrame(r) != kTypePingReply) return std::nullopt;
  PingReply reply;
  reply.game_name = r.FixedText(kPingReplyNameField);
  reply.time_stamp_ms = r.U32Le();
  reply.game_socket = ReadSocket(r);
  if (!r.ok()) return std::nullopt;
  return reply;
}

std::optional<GameFrame> ParseGameFrame(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  GameFrame frame;
  frame.type = ReadFrame(r);
  if (!IsGameFrameType(frame.type)) return std::nullopt;
  frame.sequence = static_cast<int32_t>(r.U32Le());
  frame.destination_socket = ReadSocket(r);
  frame.source_socket = ReadSocket(r);
  frame.payload = r.Bytes(r.remaining());
  if (!r.ok()) return std::nullopt;
  return frame;
}

std::optional<PlayerInfoRequest> ParsePlayerInfoRequest(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  if (ReadFrame(r) != kTypePlayerInfoRequest) return std::nullopt;
  PlayerInfoRequest request;
  request.nickname = r.FixedText(kNicknameField);
  if (!r.ok()) return std::nullopt;
  return request;
}

std::optional<ForwardedPlayerInfo> ParseForwardedPlayerInfo(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  if (ReadFrame(r) != kTypePlayerInfoRequest) return std::nullopt;
  ForwardedPlayerInfo info;
  info.nickname = r.FixedText(kForwardedNicknameField);
  info.client = ReadAddress(r);
  if (!r.ok()) return std::nullopt;
  return info;
}

std::optional<TextMessage> ParseText(std::span<const uint8_t> datagram) {
  ByteReader r(datagram);
  TextMessage message;
  message.type = ReadFrame(r);
  if (!IsTextType(message.type)) return std::nullopt;
  // The sender's zero ends the text; a datagram cut before it ends it too.
  message.text = r.RestText();
  return message;
}

}  // namespace vorn
