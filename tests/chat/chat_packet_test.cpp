#include "chat/chat_packet.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

#include "chat/chat_peers.h"
#include "chat/duplicate_history.h"
#include "chat/pending_packets.h"
#include "net/peer_capabilities.h"

namespace vorn {
namespace {

TEST(ChatPacket, BuildsTheHeaderByteExactAndRefusesWhatItCannotFrame) {
  std::vector<uint8_t> out(kMaxChatPacket + 1);
  const uint8_t payload[] = {'h', 'i', 0};
  size_t size = BuildChatPacket(out, {'B', 0x01020304, ChatSubtype::Private, "#chat", "Alice", 0x0A0B0C0D}, payload);
  ASSERT_EQ(size, 66u);
  std::vector<uint8_t> expected = {'V',  'O',  'R',  'N',  'B',  // magic, relayed
                                   0x04, 0x03, 0x02, 0x01,       // sequence, little-endian
                                   0x27, 0x8E, 0x27, 0x8E,       // both sockets
                                   9,    0,                      // subtype Private
                                   '#',  'c',  'h',  'a',  't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // channel field
                                   'A',  'l',  'i',  'c',  'e', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // nickname field
                                   0x0D, 0x0C, 0x0B, 0x0A,                            // serial, little-endian
                                   0,    0,    0,    0,    0,   0, 0, 0, 0, 0, 0, 0,  // reserved
                                   'h',  'i',  0};                                    // payload
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 66), expected);

  out[10] = 0x8F;  // not the chat socket
  EXPECT_FALSE(ParseChatDatagram(std::span<const uint8_t>(out.data(), size)));
  EXPECT_EQ(BuildChatPacket(out, {}, std::vector<uint8_t>(kMaxChatPayload + 1, 'x')), 0u);
}

TEST(DuplicateHistory, ComparesWholeTextsWithinFourSeconds) {
  DuplicateHistory history;
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Text, 1, "lol", 100));
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Text, 1, "lo", 100));  // a leading part is another line
  EXPECT_TRUE(history.IsDuplicate(ChatSubtype::Text, 1, "lol", 103));
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Text, 2, "lol", 103));
  EXPECT_TRUE(history.IsDuplicate(ChatSubtype::Text, 1, "lol", 107));  // renewed at 103
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Text, 1, "lol", 112));
}

// Our own packets waiting for acknowledgement stay bounded whoever we send to.
TEST(PendingChatPackets, RefusesBeyondItsCap) {
  PendingChatPackets pending;
  std::vector<uint8_t> packet(kMaxChatPacket);
  packet.resize(BuildChatPacket(packet, {'0', 1, ChatSubtype::Text, "", "", 42}, {}));
  for (size_t i = 0; i < PendingChatPackets::kMaxRecords; ++i)
    ASSERT_NE(pending.Keep({1, 1}, packet, 0, 1000), nullptr);
  EXPECT_EQ(pending.Keep({1, 1}, packet, 0, 1000), nullptr);
}

// Only the exact layout announces anything; what peers that follow the
// protocol send (zeros) and any other bytes announce nothing.
TEST(PeerCapabilities, TheReservedFieldAnnouncesOnlyInItsOwnLayoutAndEachPeersLatestWordCounts) {
  std::array<uint8_t, kCapabilityFieldSize> field{};
  EXPECT_FALSE(ReadCapabilityField(field));
  WriteCapabilityField(field, capability::kWindowedTransfer);
  EXPECT_EQ(ReadCapabilityField(field), capability::kWindowedTransfer);
  for (size_t at : {0u, 4u, 5u, 11u}) {
    auto bent = field;
    bent[at] ^= 0x40;
    EXPECT_FALSE(ReadCapabilityField(bent)) << at;
  }

  // Each peer's latest word counts; the oldest is forgotten when full.
  PeerCapabilities table;
  const PeerAddress first{0x7F000001, 1};
  table.Record(first, capability::kWindowedTransfer, 0);
  EXPECT_TRUE(table.Has(first, capability::kWindowedTransfer));
  table.Record(first, 0, 1);  // restarted with the extension off
  EXPECT_FALSE(table.Has(first, capability::kWindowedTransfer));
  table.Record(first, capability::kWindowedTransfer, 2);
  for (uint16_t port = 2; port <= PeerCapabilities::kMaxPeers; ++port) table.Record({0x7F000001, port}, 1, 10 + port);
  EXPECT_TRUE(table.Has(first, capability::kWindowedTransfer));
  table.Record({0x7F000002, 1}, 1, 5000);
  EXPECT_FALSE(table.Has(first, capability::kWindowedTransfer));
}

// A case change is no nickname change: a peer that types its nickname
// otherwise is not announced as renamed.
TEST(ChatPeerTable, AKnownSenderReportsAChannelChangeButNotACaseChange) {
  ChatPeerTable table;
  table.Reset({0x7F000001, 1}, "Me", "#chat");
  ASSERT_TRUE(table.FindOrAddChatPeer({0x7F000001, 2}, "#chat", "u2").is_new);
  const PeerLookup again = table.FindOrAddChatPeer({0x7F000001, 2}, "#other", "U2");
  EXPECT_EQ(std::tie(again.index, again.is_new, again.channel_changed, again.nick_changed),
            std::make_tuple(1, false, true, false));
}

}  // namespace
}  // namespace vorn
