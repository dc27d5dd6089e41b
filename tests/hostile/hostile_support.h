#pragma once
// Hostile input: well-formed datagrams of every catalogue type that a test
// then cuts, pads or wraps, and a snapshot of everything a node holds that
// such a datagram could change, so a test can prove that a refusal left
// nothing else different.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "chat/chat_packet.h"
#include "connection/client_fixture.h"
#include "net/dispatch.h"
#include "net/messages.h"
#include "node/node.h"
#include "server/client_table.h"
#include "support/test_node.h"

namespace vorn {
namespace hostile {

using vorn::Bytes;

// A loopback address nobody listens on: a node that believed a forged
// sender answers there, never off this machine.
inline constexpr PeerAddress kClaimedAddress{0x7F000009, 4444};

inline Bytes Truncated(const Bytes& whole, size_t size) {
  return Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(std::min(size, whole.size())));
}

// whole, then filler bytes up to size: a valid beginning with too much after it.
inline Bytes Padded(Bytes whole, size_t size, uint8_t filler = 'x') {
  whole.resize(std::max(size, whole.size()), filler);
  return whole;
}

inline Bytes Wrapped(PeerAddress named, const Bytes& inner) {
  Bytes out(kWrapHeaderSize + inner.size());
  out.resize(BuildProxyWrap(out, {named, inner}));
  return out;
}

inline Bytes ChatFrame(char type, ChatSubtype subtype, std::string_view nickname, std::string_view text) {
  Bytes out(kMaxChatPacket);
  std::vector<uint8_t> payload(text.begin(), text.end());
  payload.push_back(0);
  out.resize(BuildChatPacket(out, {type, 1, subtype, "#chat", nickname, 77}, payload));
  return out;
}

// A chat body (the datagram from offset 13) carrying any payload, also one
// longer than a chat packet may hold: the header is built, the payload is
// appended as it is.
inline Bytes ChatBody(ChatSubtype subtype, std::string_view nickname, std::span<const uint8_t> payload,
                      uint32_t serial = 4242, std::string_view channel = "#chat") {
  Bytes packet(kChatHeaderSize);
  packet.resize(BuildChatPacket(packet, {kTypeGameFrame, 1, subtype, channel, nickname, serial}, {}));
  packet.insert(packet.end(), payload.begin(), payload.end());
  return Bytes(packet.begin() + kChatBodyOffset, packet.end());
}

// A datagram of this type whose every field is valid and which, at its full
// length, its handler would act on.
inline Bytes WellFormed(char type) {
  Bytes out(kMaxDatagram);
  size_t size = 0;
  switch (type) {
    case kTypeProxyWrap: {
      Bytes motd(kFrameSize);
      BuildFrameOnly(motd, kTypeMotdRequest);
      return Wrapped(kClaimedAddress, motd);
    }
    case kTypeProxyWelcome:
    case kTypeAccepted:
      size = BuildAddressMessage(out, type, kClaimedAddress);
      break;
    case kTypeHello:
      size = BuildHello(out, {"intruder", "in@example.org", "In Truder", "", kProtocolVersion});
      break;
    case kTypePingRequest:
      size = BuildPingRequest(out, {"GAME", 1234});
      break;
    case kTypePingReply:
      size = BuildPingReply(out, {"GAME", 1234, kChatSocket});
      break;
    case kTypeGameFrame:
    case kTypeBroadcastFrame:
      return ChatFrame(type, ChatSubtype::Text, "intruder", "hi");
    case kTypePlayerInfoRequest:
      size = BuildPlayerInfoRequest(out, {"somebody"});
      break;
    case kTypeServerList:
      return TextDatagram(kTypeServerList, "Intruder       |10.0.0.9\r\n");
    case kTypeText:
    case kTypeTextLine:
      size = BuildText(out, {type, "injected"});
      break;
    case kTypeLinkProbe:
      size = BuildLinkProbe(out, {LinkProbeKind::kQuestion, 0, 1, 0});
      break;
    case kTypeParity:
      size = BuildParity(out, ChatFrame(kTypeGameFrame, ChatSubtype::Text, "intruder", "hi"),
                         ChatFrame(kTypeGameFrame, ChatSubtype::Text, "intruder", "ho"), {});
      break;
    default:
      size = BuildFrameOnly(out, type);
      break;
  }
  out.resize(size);
  return out;
}

// Each type's full layout, and its catalogue minimum, cut at every length.
inline std::vector<Bytes> EveryShortCut() {
  std::vector<Bytes> cuts;
  for (const auto& [type, name, minimum] : kMessageTypes) {
    const Bytes whole = WellFormed(type);
    EXPECT_GE(whole.size(), minimum) << name;
    for (size_t size = 0; size < minimum; ++size) cuts.push_back(Truncated(whole, size));
  }
  return cuts;
}

// One line per table entry, with every field a datagram could change.
inline std::vector<std::string> Rows(const ClientEntries& entries) {
  std::vector<std::string> rows;
  for (const ClientEntry& e : entries)
    rows.push_back(FormatPeer(e.address) + "|" + std::string(e.Nickname()) + "|" + std::string(e.RealName()) + "|" +
                   std::string(e.Email()) + "|" + std::to_string(e.last_seen_s) + "|" + std::to_string(e.pings_sent) +
                   "|" + std::to_string(e.ping_replies));
  return rows;
}

inline std::vector<std::string> ChatRows(const Chat& chat) {
  std::vector<std::string> rows;
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    ChatPeer peer = chat.Peer(i);
    rows.push_back(std::string(peer.nickname.view()) + "|" + std::string(peer.channel.view()) + "|" +
                   FormatPeer(peer.address));
  }
  return rows;
}

// What a node holds that inbound datagrams may change, by what it is.
using NodeState = std::map<std::string, std::string>;

inline std::string Lines(const std::vector<std::string>& rows) {
  std::string text;
  for (const std::string& row : rows) text += row + "\n";
  return text;
}

inline NodeState Capture(TestNode& t) {
  Node& node = *t.node;
  SharedAddresses& a = node.addresses();
  std::string servers;
  for (const ServerEntry& e : node.settings().servers().entries()) servers += e.name + "|" + e.address + "\n";
  return {{"own address", FormatPeer(a.local.Load())},
          {"proxy address", FormatPeer(a.proxy.Load())},
          {"server address", FormatPeer(a.server.Load())},
          {"tracker address", FormatPeer(a.tracker.Load())},
          {"client table", Lines(Rows(node.local_server().table().Snapshot()))},
          {"server list", servers},
          {"chat peer table", Lines(ChatRows(node.chat()))},
          {"pending chat packets", std::to_string(node.chat().PendingRecordCount())},
          {"chat mode", node.chat().IsChatModeOn() ? "on" : "off"},
          {"message window", t.window.Text()},
          {"query view", t.window.ViewText()}};
}

// One part at a time, so a failure names what changed.
inline void ExpectUnchanged(const NodeState& before, const NodeState& after) {
  for (const auto& [part, held] : before) EXPECT_EQ(held, after.at(part)) << part;
}

}  // namespace hostile
}  // namespace vorn
