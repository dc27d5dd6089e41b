#include "chat/chat_packet.h"

#include <algorithm>
#include <array>

#include "net/messages.h"
#include "net/peer_capabilities.h"
#include "platform/byte_io.h"
#include "platform/text.h"

namespace vorn {

size_t BuildChatPacket(std::span<uint8_t> out, const ChatHeader& header, std::span<const uint8_t> payload) {
  if (payload.size() > kMaxChatPayload) return 0;
  ByteWriter writer(out);
  writer.Bytes(kMagic);
  writer.U8(static_cast<uint8_t>(header.type));
  writer.U32Le(header.sequence);
  writer.Bytes(kChatSocket);
  writer.Bytes(kChatSocket);
  writer.U16Le(static_cast<uint16_t>(header.subtype));
  writer.TerminatedText(header.channel, kChatNameField);
  writer.TerminatedText(header.nickname, kChatNameField);
  writer.U32Le(header.serial);
  std::array<uint8_t, kChatReservedSize> reserved{};
  WriteCapabilityField(reserved, header.capabilities);
  writer.Bytes(reserved);
  writer.Bytes(payload);
  return writer.ok() ? writer.size() : 0;
}

std::optional<ChatPacketView> ParseChatBody(std::span<const uint8_t> body) {
  if (body.size() < kChatBodyHeaderSize) return std::nullopt;
  ByteReader reader(body);
  ChatPacketView view;
  view.subtype = static_cast<ChatSubtype>(reader.U16Le());
  // A field filled to its end without a terminator still yields 15 bytes,
  // kept as they came: they name the sender, whatever its character set.
  view.channel = reader.FixedText(kChatNameField).substr(0, kChatNameMax);
  view.nickname = reader.FixedText(kChatNameField).substr(0, kChatNameMax);
  view.serial = reader.U32Le();
  view.reserved = reader.Bytes(kChatReservedSize);
  view.payload = reader.Bytes(reader.remaining());
  if (!reader.ok()) return std::nullopt;
  return view;
}

std::optional<ChatDatagramView> ParseChatDatagram(std::span<const uint8_t> datagram) {
  if (datagram.size() < kChatHeaderSize) return std::nullopt;
  ByteReader reader(datagram);
  std::span<const uint8_t> magic = reader.Bytes(kMagic.size());
  char type = static_cast<char>(reader.U8());
  uint32_t sequence = reader.U32Le();
  std::span<const uint8_t> destination = reader.Bytes(2);
  std::span<const uint8_t> source = reader.Bytes(2);
  if (!reader.ok() || !std::equal(magic.begin(), magic.end(), kMagic.begin())) return std::nullopt;
  if (type != kTypeGameFrame && type != kTypeBroadcastFrame) return std::nullopt;
  if (!std::equal(destination.begin(), destination.end(), kChatSocket.begin()) ||
      !std::equal(source.begin(), source.end(), kChatSocket.begin())) {
    return std::nullopt;
  }
  std::optional<ChatPacketView> packet = ParseChatBody(datagram.subspan(kChatBodyOffset));
  if (!packet) return std::nullopt;
  return ChatDatagramView{type, sequence, *packet};
}

void SetChatSequence(std::span<uint8_t> packet, uint32_t sequence) {
  if (packet.size() < kChatBodyOffset) return;
  ByteWriter writer(packet.subspan(5, 4));
  writer.U32Le(sequence);
}

ChatSubtype BuiltChatSubtype(std::span<const uint8_t> packet) {
  ByteReader reader(packet);
  reader.Skip(kChatBodyOffset);
  return static_cast<ChatSubtype>(reader.U16Le());
}

uint32_t BuiltChatSerial(std::span<const uint8_t> packet) {
  ByteReader reader(packet);
  reader.Skip(kChatBodyOffset + 2 + 2 * kChatNameField);
  return reader.U32Le();
}

std::string_view PayloadText(std::span<const uint8_t> payload) {
  ByteReader reader(payload);
  return reader.RestText();
}

uint32_t ParseSerial(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  uint32_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) value = value * 10 + static_cast<uint32_t>(text[i] - '0');
  return value;
}

size_t BuildFileFragment(std::span<uint8_t> out, uint32_t offset, std::span<const uint8_t> data) {
  if (data.size() > kMaxFragmentData) return 0;
  ByteWriter writer(out);
  writer.U16Le(static_cast<uint16_t>(data.size()));
  writer.U32Le(offset);
  writer.Bytes(data);
  return writer.ok() ? writer.size() : 0;
}

std::optional<FileFragmentView> ParseFileFragment(std::span<const uint8_t> payload) {
  ByteReader reader(payload);
  FileFragmentView view;
  view.count = reader.U16Le();
  view.offset = reader.U32Le();
  if (!reader.ok() || view.count > kMaxFragmentData) return std::nullopt;
  view.data = reader.Bytes(view.count);
  if (!reader.ok()) return std::nullopt;
  return view;
}

std::string FormatPeerAddress(PeerAddress peer) {
  std::string text = Format("%u.%u.%u.%u", peer.ip >> 24, (peer.ip >> 16) & 255, (peer.ip >> 8) & 255, peer.ip & 255);
  if (peer.port != 2213) text += Format(":%u", static_cast<unsigned>(peer.port));
  return text;
}

}  // namespace vorn
