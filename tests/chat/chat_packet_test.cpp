#include "chat/chat_packet.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "chat/chat_peers.h"
#include "chat/duplicate_history.h"
#include "chat/pending_packets.h"
#include "chat/received_ranges.h"
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

  auto view = ParseChatDatagram(std::span<const uint8_t>(out.data(), size));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->type, 'B');
  EXPECT_EQ(view->sequence, 0x01020304u);
  EXPECT_EQ(view->packet.nickname, "Alice");
  EXPECT_EQ(view->packet.serial, 0x0A0B0C0Du);
  EXPECT_EQ(PayloadText(view->packet.payload), "hi");
  // Short bodies, unterminated fields and lying fragment counts are the
  // hostile tests'; here what only the builder and the framing decide.
  out[10] = 0x8F;  // not the chat socket
  EXPECT_FALSE(ParseChatDatagram(std::span<const uint8_t>(out.data(), size)));
  EXPECT_EQ(BuildChatPacket(out, {}, std::vector<uint8_t>(kMaxChatPayload + 1, 'x')), 0u);
  EXPECT_EQ(FormatPeerAddress({0x0A000102, 2213}), "10.0.1.2");  // the default port is left out
}

TEST(DuplicateHistory, ComparesWholeTextsWithinFourSeconds) {
  DuplicateHistory history;
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Text, 1, "lol", 100));
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Text, 1, "lo", 100));  // a leading part is another line
  EXPECT_TRUE(history.IsDuplicate(ChatSubtype::Text, 1, "lol", 103));
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Text, 2, "lol", 103));
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Action, 1, "lol", 103));
  EXPECT_TRUE(history.IsDuplicate(ChatSubtype::Text, 1, "lol", 107));  // renewed at 103
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Text, 1, "lol", 112));
  EXPECT_FALSE(history.IsDuplicate(ChatSubtype::Hello, 1, "", 200));
  EXPECT_TRUE(history.IsDuplicate(ChatSubtype::Hello, 1, "", 201));
}

TEST(PendingChatPackets, ReusesFreedRecordsAndRefusesBeyondItsCap) {
  PendingChatPackets pending;
  std::vector<uint8_t> packet(kMaxChatPacket);
  size_t size = BuildChatPacket(packet, {'0', 1, ChatSubtype::FileFragment, "", "", 42}, {});
  std::span<const uint8_t> bytes(packet.data(), size);
  ASSERT_NE(pending.Keep({1, 1}, bytes, 0, 1000), nullptr);
  auto acked = pending.Acknowledge(42, {1, 1});
  ASSERT_TRUE(acked);
  EXPECT_TRUE(acked->was_in_use);
  EXPECT_EQ(acked->subtype, ChatSubtype::FileFragment);
  EXPECT_FALSE(pending.Acknowledge(42, {1, 1})->was_in_use);  // a repeated acknowledgement
  for (size_t i = 0; i < PendingChatPackets::kMaxRecords; ++i) ASSERT_NE(pending.Keep({1, 1}, bytes, 0, 1000), nullptr);
  EXPECT_EQ(pending.RecordCount(), PendingChatPackets::kMaxRecords);
  EXPECT_EQ(pending.Keep({1, 1}, bytes, 0, 1000), nullptr);
}

TEST(ReceivedRanges, MergesWhatTouchesAndStaysBounded) {
  ReceivedRanges ranges;
  ranges.Add(1000, 1500);
  ranges.Add(0, 500);
  EXPECT_EQ(ranges.whole(), 500u);
  EXPECT_EQ(ranges.held(), 1000u);
  ranges.Add(500, 1000);  // the hole between them
  EXPECT_EQ(ranges.whole(), 1500u);
  EXPECT_TRUE(ranges.Holds(200, 1200));
  EXPECT_FALSE(ranges.Holds(1400, 1600));
  for (uint64_t i = 1; i < ReceivedRanges::kMaxRanges; ++i) ranges.Add(2000 * i, 2000 * i + 10);
  EXPECT_FALSE(ranges.CanAdd(500000, 500010));  // one range more than it keeps
  EXPECT_TRUE(ranges.CanAdd(2010, 3000));       // joins two it has
  ranges.Add(2010, 4000);
  EXPECT_EQ(ranges.held(), 1500u + 10 * (ReceivedRanges::kMaxRanges - 1) + 1990);
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
  std::vector<uint8_t> packet(kMaxChatPacket);
  packet.resize(BuildChatPacket(packet, {'0', 1, ChatSubtype::Text, "", "", 1, capability::kWindowedTransfer}, {}));
  EXPECT_EQ(ReadCapabilityField(ParseChatDatagram(packet)->packet.reserved), capability::kWindowedTransfer);

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

// A full table and target resolution are covered through the chat itself
// (hostile/chat_attack_test.cpp, chat_commands_test.cpp).
TEST(ChatPeerTable, AKnownSenderReportsAChannelChangeButNotACaseChange) {
  ChatPeerTable table;
  table.Reset({0x7F000001, 1}, "Me", "#chat");
  ASSERT_TRUE(table.FindOrAddChatPeer({0x7F000001, 2}, "#chat", "u2").is_new);
  PeerLookup again = table.FindOrAddChatPeer({0x7F000001, 2}, "#other", "U2");
  EXPECT_EQ(again.index, 1);
  EXPECT_FALSE(again.is_new);
  EXPECT_TRUE(again.channel_changed);
  EXPECT_FALSE(again.nick_changed);  // letter case alone is no change
}

}  // namespace
}  // namespace vorn
