#include "ipx/forwarding.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "ipx/ipx_test_support.h"

namespace vorn {
namespace {

using namespace ipx_test;

constexpr PeerAddress kPeer{kLoopback, 40001};
constexpr PeerAddress kServer{kLoopback, 2213};
constexpr IpxSocket kJoinFamily = {0x51, 0x00};
constexpr IpxSocket kOtherFamily = {0x45, 0x00};

// Frame lengths are payload + 13.
std::vector<uint8_t> PayloadForFrame(size_t frame_length, uint8_t fifth = 0) {
  std::vector<uint8_t> payload = Bytes(frame_length - kGameFrameHeaderSize);
  if (payload.size() > 4) payload[4] = fifth;
  return payload;
}

class ForwardingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(h.link.OpenDriverLink());
    h.addresses.server.Store(kServer);
    ListPlayers(h, LoopbackPlayers(
                       1, 11, {kPeer, {kLoopback, 40002}, {kLoopback, 5000}, {kLoopback, 6000}, {0x7F000002, 5000}}));
    ring.WriteFrameHeaders();
  }

  // Outbound: one packet through a slot of a ring of the test's own (the
  // driver's ring stays empty, so the send thread stays out of the way).
  // Returns what was sent, nullopt when the packet was dropped.
  std::optional<Sent> Forward(PeerAddress to, const std::vector<uint8_t>& payload, IpxSocket source = kJoinFamily) {
    const size_t before = h.sent.Count();
    PacketSlot slot = ring.slot(0);
    EXPECT_TRUE(slot.Fill({to, sequence++, {0x45, 0x67}, source, payload}));
    h.forwarder.ForwardDriverPacket(slot);
    EXPECT_TRUE(slot.IsFree());
    if (h.sent.Count() == before) return std::nullopt;
    return h.sent.All().back();
  }
  bool Sends(PeerAddress to, size_t frame_length, IpxSocket source = kJoinFamily) {
    return Forward(to, PayloadForFrame(frame_length), source).has_value();
  }

  // Inbound: true when the frame reached the driver.
  bool Receive(const std::vector<uint8_t>& frame, PeerAddress from = kPeer) {
    const size_t before = h.driver.DeliveryCount();
    h.forwarder.OnGameFrame(frame, from);
    return h.driver.DeliveryCount() > before;
  }

  Harness h;
  std::array<uint8_t, kRingBytes> memory{};
  PacketRing ring{memory};
  int32_t sequence = 1;
};

TEST_F(ForwardingTest, FastJoinSettingsDropJoinPackets) {
  EXPECT_TRUE(Forward(kPeer, PayloadForFrame(300, '#')));  // both settings off
  h.forwarder.SetFastJoin(true);
  EXPECT_FALSE(Forward(kPeer, PayloadForFrame(300, '#'), {0x51, 0x00}));
  EXPECT_FALSE(Forward(kPeer, PayloadForFrame(300, '#'), {0x50, 0x12}));
  EXPECT_TRUE(Forward(kPeer, PayloadForFrame(300, '#'), kOtherFamily));
  EXPECT_TRUE(Forward(kPeer, PayloadForFrame(300, '7')));

  h.forwarder.SetFastJoin2(true);
  EXPECT_FALSE(Forward(kPeer, PayloadForFrame(300, '7'), {0x51, 0x34}));
  EXPECT_TRUE(Forward(kPeer, PayloadForFrame(300, '7'), {0x50, 0x34}));
  // The fifth byte counts only when the packet has one, not a stale one left in the slot.
  EXPECT_FALSE(Forward(kPeer, PayloadForFrame(300, '#')));
  EXPECT_TRUE(Forward(kPeer, {1, 2, 3}));
}

TEST_F(ForwardingTest, OnlyTheFirstLength104FrameAfterAnotherRecordedLengthIsDroppedForTenDestinations) {
  EXPECT_TRUE(Sends(kPeer, 60));
  EXPECT_FALSE(Sends(kPeer, 104));
  EXPECT_TRUE(Sends(kPeer, 104));
  EXPECT_TRUE(Sends({kLoopback, 40002}, 104));  // a destination not yet seen
  // Long frames and other sockets leave the history alone.
  const PeerAddress other{kLoopback, 40003};
  EXPECT_TRUE(Sends(other, 104));
  EXPECT_TRUE(Sends(other, 200));
  EXPECT_TRUE(Sends(other, 60, kOtherFamily));
  EXPECT_TRUE(Sends(other, 104));  // still 104: neither frame was recorded
  // The eleventh destination replaces the oldest.
  for (uint16_t port = 1; port <= 11; ++port) EXPECT_TRUE(Sends({kLoopback, port}, 60));
  EXPECT_TRUE(Sends({kLoopback, 1}, 104));   // forgotten: taken as new
  EXPECT_FALSE(Sends({kLoopback, 3}, 104));  // still remembered with 60
}

TEST_F(ForwardingTest, SlotWithImpossibleLengthIsDroppedAndFreed) {
  const size_t sent_before = h.sent.Count();
  PacketSlot slot = ring.slot(0);
  ASSERT_TRUE(slot.Fill({kPeer, 1, {}, kOtherFamily, Bytes(10)}));
  memory[6] = 0xE9;  // n = 1001: one byte more than a slot holds
  memory[7] = 0x03;
  h.forwarder.ForwardDriverPacket(slot);
  EXPECT_TRUE(slot.IsFree());
  EXPECT_EQ(h.sent.Count(), sent_before);
}

TEST_F(ForwardingTest, OlderSequenceFromOneSenderIsDroppedUntilTenSecondsOfSilence) {
  EXPECT_TRUE(Receive(FrameBytes(5, kJoinFamily, Bytes(4))));
  EXPECT_TRUE(Receive(FrameBytes(7, kJoinFamily, Bytes(4))));
  EXPECT_FALSE(Receive(FrameBytes(7, kJoinFamily, Bytes(4))));  // an exact repeat, from any sender
  EXPECT_FALSE(Receive(FrameBytes(6, kJoinFamily, Bytes(4))));
  EXPECT_TRUE(Receive(FrameBytes(6, kJoinFamily, Bytes(4)), {kLoopback, 40002}));  // another sender
  h.clock.Advance(10'000);
  EXPECT_FALSE(Receive(FrameBytes(1, kJoinFamily, Bytes(4))));
  h.clock.Advance(10'001);
  EXPECT_TRUE(Receive(FrameBytes(1, kJoinFamily, Bytes(4))));

  std::vector<SimulatedDriver::Delivery> delivered = h.driver.Deliveries();
  ASSERT_EQ(delivered.size(), 4u);
  EXPECT_EQ(delivered[0].sender, kPeer);
  EXPECT_EQ(delivered[0].frame, FrameBytes(5, kJoinFamily, Bytes(4)));  // the whole frame
}

// Toward a Vorn node with loss protection on, a frame overtaken on the way
// still counts, once, while it is within the last 64 numbers.
TEST(SenderHistoryTest, LateFramesAreTakenOnceWhenAskedFor) {
  SenderHistory history;
  for (int32_t sequence : {100, 103, 102}) EXPECT_TRUE(history.AcceptFrame(kPeer, sequence, 0, true)) << sequence;
  EXPECT_FALSE(history.AcceptFrame(kPeer, 102, 0, true));   // now a repeat
  EXPECT_FALSE(history.AcceptFrame(kPeer, 101, 0, false));  // late, not asked for
  EXPECT_TRUE(history.AcceptFrame(kPeer, 200, 0, true));
  EXPECT_TRUE(history.AcceptFrame(kPeer, 136, 0, true));   // 64 below
  EXPECT_FALSE(history.AcceptFrame(kPeer, 135, 0, true));  // too old to tell
}

TEST_F(ForwardingTest, EleventhSenderReplacesTheOneHeardFromLongestAgo) {
  for (uint16_t port = 1; port <= 10; ++port) {
    EXPECT_TRUE(Receive(FrameBytes(100, kJoinFamily, {}), {kLoopback, port}));
    h.clock.Advance(1);
  }
  EXPECT_TRUE(Receive(FrameBytes(100, kJoinFamily, {}), {kLoopback, 11}));
  EXPECT_TRUE(Receive(FrameBytes(1, kJoinFamily, {}), {kLoopback, 1}));   // starts afresh
  EXPECT_FALSE(Receive(FrameBytes(1, kJoinFamily, {}), {kLoopback, 3}));  // still remembered
}

TEST_F(ForwardingTest, RepeatedMarkerOfOneKindIsDroppedWhoeverSendsIt) {
  EXPECT_TRUE(Receive(MarkerFrame(1, 1)));
  EXPECT_FALSE(Receive(MarkerFrame(2, 1), {kLoopback, 40002}));
  EXPECT_TRUE(Receive(MarkerFrame(3, 2)));
  EXPECT_TRUE(Receive(MarkerFrame(4, 1)));
  EXPECT_TRUE(Receive(MarkerFrame(5, 7)));  // another kind ends the run
  EXPECT_TRUE(Receive(MarkerFrame(6, 7)));
  EXPECT_TRUE(Receive(MarkerFrame(7, 1)));
}

TEST_F(ForwardingTest, UnmarkedFrameFromTheMarkersPortEndsTheRun) {
  EXPECT_TRUE(Receive(MarkerFrame(1, 1), {kLoopback, 5000}));
  EXPECT_TRUE(Receive(FrameBytes(2, kJoinFamily, Bytes(10)), {kLoopback, 6000}));
  EXPECT_FALSE(Receive(MarkerFrame(3, 1), {kLoopback, 5000}));
  EXPECT_TRUE(Receive(FrameBytes(4, kJoinFamily, Bytes(10)), {0x7F000002, 5000}));  // same port, other host
  EXPECT_TRUE(Receive(MarkerFrame(5, 1), {kLoopback, 5000}));
}

TEST_F(ForwardingTest, ShortFramesAreNeverReadPastTheirEnd) {
  // Bytes 17 to 20 carry the marker but byte 21 is missing: not a marker.
  std::vector<uint8_t> cut = MarkerFrame(1, 1);
  cut.resize(21);
  cut.shrink_to_fit();  // the sanitizers see a read past the end
  EXPECT_TRUE(Receive(cut));
  EXPECT_TRUE(Receive(FrameBytes(2, kJoinFamily, {})));
  EXPECT_TRUE(Receive(cut, {kLoopback, 40002}));
  std::vector<uint8_t> too_short = FrameBytes(3, kJoinFamily, {});
  too_short.pop_back();
  EXPECT_FALSE(Receive(too_short));
}

// Frames from an address the server has not listed wait for its list: a
// player's are then played in their order, a stranger's never.
TEST(ForwardingGateTest, UnknownSendersAreHeldUntilTheServerListsThem) {
  Harness h;
  ASSERT_TRUE(h.link.OpenDriverLink());
  constexpr PeerAddress kStranger{kLoopback, 40666};
  h.forwarder.OnGameFrame(FrameBytes(1, kJoinFamily, Bytes(4)), kPeer);  // no server: nobody is a player
  h.addresses.server.Store(kServer);
  for (int32_t sequence : {2, 3}) {
    h.forwarder.OnGameFrame(FrameBytes(sequence, kJoinFamily, Bytes(4)), kPeer);
    h.forwarder.OnGameFrame(FrameBytes(sequence, kJoinFamily, Bytes(4)), kStranger);
  }
  EXPECT_EQ(h.driver.DeliveryCount(), 0u);
  EXPECT_EQ(h.forwarder.gate().HeldCount(), 4u);
  const auto asked = h.sent.All();
  ASSERT_EQ(asked.size(), 1u);  // one question for both senders
  EXPECT_EQ(asked[0].to, kServer);
  EXPECT_EQ(asked[0].bytes, (std::vector<uint8_t>{'V', 'O', 'R', 'N', 'Q'}));

  EXPECT_FALSE(h.forwarder.TakePlayerList("not a player list"));
  EXPECT_TRUE(h.forwarder.TakePlayerList(PlayerListText({kPeer})));
  EXPECT_FALSE(h.forwarder.TakePlayerList(PlayerListText({kPeer})));  // not asked again: shown
  const auto delivered = h.driver.Deliveries();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[0].frame, FrameBytes(2, kJoinFamily, Bytes(4)));
  EXPECT_EQ(delivered[1].frame, FrameBytes(3, kJoinFamily, Bytes(4)));
  // The stranger is dropped without another question for a while.
  h.forwarder.OnGameFrame(FrameBytes(4, kJoinFamily, Bytes(4)), kStranger);
  EXPECT_EQ(h.forwarder.gate().HeldCount(), 0u);
  EXPECT_EQ(h.sent.Count(), 1u);
  // A relay names a player.
  h.forwarder.OnGameFrame(FrameBytes(5, kJoinFamily, Bytes(4)), {kLoopback, 40777}, true);
  h.forwarder.OnGameFrame(FrameBytes(6, kJoinFamily, Bytes(4)), {kLoopback, 40777});
  EXPECT_EQ(h.driver.DeliveryCount(), 4u);
}

// A game name that fills its eight bytes has no terminator to stop at.
TEST(ForwardingQueryTest, GameInfoReadsAFullNameWithoutRunningPastIt) {
  Harness h;
  ASSERT_TRUE(h.link.OpenDriverLink());
  h.driver.SetRunningGame({0x51, 0x00}, "EIGHTCHR");
  EXPECT_EQ(h.forwarder.QueryGameInfo().name, "EIGHTCHR");
}

}  // namespace
}  // namespace vorn
