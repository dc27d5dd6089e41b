#include "chat/chat_packet.h"

#include <gtest/gtest.h>

#include <vector>

#include "chat/chat_peers.h"
#include "chat/duplicate_history.h"
#include "chat/pending_packets.h"

namespace vorn {
namespace {

TEST(ChatPacket, BuildsTheHeaderByteExact) {
  std::vector<uint8_t> out(kMaxChatPacket);
  const uint8_t payload[] = {'h', 'i', 0};
  size_t size = BuildChatPacket(out, {'B', 0x01020304, ChatSubtype::Private, "#chat", "Alice", 0x0A0B0C0D}, payload);
  ASSERT_EQ(size, 66u);
  std::vector<uint8_t> expected = {
      'V', 'O', 'R', 'N', 'B',                                // magic, relayed
      0x04, 0x03, 0x02, 0x01,                                 // sequence, little-endian
      0x27, 0x8E, 0x27, 0x8E,                                 // both sockets
      9, 0,                                                   // subtype Private
      '#', 'c', 'h', 'a', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // channel field
      'A', 'l', 'i', 'c', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // nickname field
      0x0D, 0x0C, 0x0B, 0x0A,                                 // serial, little-endian
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                     // reserved
      'h', 'i', 0};                                           // payload
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 66), expected);

  auto view = ParseChatDatagram(std::span<const uint8_t>(out.data(), size));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->type, 'B');
  EXPECT_EQ(view->sequence, 0x01020304u);
  EXPECT_EQ(view->packet.nickname, "Alice");
  EXPECT_EQ(view->packet.serial, 0x0A0B0C0Du);
  EXPECT_EQ(PayloadText(view->packet.payload), "hi");
}

TEST(ChatPacket, ParsersStayInsideTheirInput) {
  std::vector<uint8_t> out(kMaxChatPacket + 1);
  std::vector<uint8_t> too_long(kMaxChatPayload + 1, 'x');
  EXPECT_EQ(BuildChatPacket(out, {}, too_long), 0u);

  // Name fields filled to the end without a terminator, a payload without one.
  std::vector<uint8_t> body(kChatBodyHeaderSize, 'n');
  body.push_back('o');
  body.push_back('k');
  auto view = ParseChatBody(body);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->channel.size(), kChatNameMax);
  EXPECT_EQ(PayloadText(view->payload), "ok");
  EXPECT_FALSE(ParseChatBody(std::span<const uint8_t>(body.data(), kChatBodyHeaderSize - 1)));

  size_t size = BuildChatPacket(out, {}, {});
  out[10] = 0x8F;  // not the chat socket
  EXPECT_FALSE(ParseChatDatagram(std::span<const uint8_t>(out.data(), size)));
}

TEST(ChatPacket, FragmentCountMustFitItsLimitAndItsBytes) {
  std::vector<uint8_t> data(500, 7);
  std::vector<uint8_t> payload(kMaxFragmentPayload);
  ASSERT_EQ(BuildFileFragment(payload, 1000, data), 506u);
  auto fragment = ParseFileFragment(payload);
  ASSERT_TRUE(fragment);
  EXPECT_EQ(fragment->count, 500);
  EXPECT_EQ(fragment->offset, 1000u);

  EXPECT_FALSE(ParseFileFragment(std::span<const uint8_t>(payload.data(), 505)));  // fewer bytes than counted
  payload[0] = 0xF5;  // count 501
  payload[1] = 0x01;
  payload.push_back(0);
  EXPECT_FALSE(ParseFileFragment(payload));
  EXPECT_FALSE(ParseFileFragment(std::span<const uint8_t>(payload.data(), 5)));
}

TEST(ChatPacket, FormatsPeerAddressesWithoutTheDefaultPort) {
  EXPECT_EQ(FormatPeerAddress({0x0A000102, 2213}), "10.0.1.2");
  EXPECT_EQ(FormatPeerAddress({0x7F000001, 5001}), "127.0.0.1:5001");
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
  ASSERT_NE(pending.Keep({1, 1}, bytes, 0), nullptr);
  auto acked = pending.Acknowledge(42);
  ASSERT_TRUE(acked);
  EXPECT_TRUE(acked->wasInUse);
  EXPECT_EQ(acked->subtype, ChatSubtype::FileFragment);
  EXPECT_FALSE(pending.Acknowledge(42)->wasInUse);  // a repeated acknowledgement
  for (size_t i = 0; i < PendingChatPackets::kMaxRecords; ++i) ASSERT_NE(pending.Keep({1, 1}, bytes, 0), nullptr);
  EXPECT_EQ(pending.RecordCount(), PendingChatPackets::kMaxRecords);
  EXPECT_EQ(pending.Keep({1, 1}, bytes, 0), nullptr);
}

TEST(ChatPeerTable, FullTableRefusesAndTargetsResolve) {
  ChatPeerTable table;
  table.Reset({0x7F000001, 1}, "Me", "#chat");
  for (uint16_t port = 2; port <= 100; ++port) {
    PeerLookup who = table.FindOrAddChatPeer({0x7F000001, port}, "#chat", "u" + std::to_string(port));
    ASSERT_TRUE(who.isNew);
  }
  EXPECT_EQ(table.FindOrAddChatPeer({0x7F000001, 101}, "#chat", "late").index, -1);
  PeerLookup again = table.FindOrAddChatPeer({0x7F000001, 2}, "#other", "U2");
  EXPECT_EQ(again.index, 1);
  EXPECT_TRUE(again.channelChanged);
  EXPECT_FALSE(again.nickChanged);  // letter case alone is no change
  EXPECT_EQ(table.ResolveTarget("u3").index, 2);
  EXPECT_EQ(table.ResolveTarget("#3").index, 3);
  table.Clear(5);
  EXPECT_EQ(table.ResolveTarget("#5").status, TargetStatus::kNoSuchNode);
  EXPECT_EQ(table.ResolveTarget("#100").status, TargetStatus::kNoSuchNode);
  EXPECT_EQ(table.ResolveTarget("nobody").status, TargetStatus::kUnknownUser);
}

}  // namespace
}  // namespace vorn
