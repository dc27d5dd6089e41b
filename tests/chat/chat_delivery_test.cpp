#include <gtest/gtest.h>

#include <algorithm>

#include "chat/chat_test_support.h"

namespace vorn {
namespace {

// The sender's own copy is lost once: it is sent again until it comes back.
TEST(ChatDelivery, ALineShowsOnlyWhenItsOwnCopyComesBack) {
  ChatTrio trio;
  bool lost_once = false;
  trio.network.SetDropRule([&](const SentDatagram& d) {
    if (lost_once || d.from != trio.a.address || d.to != trio.a.address || !IsSubtype(d, ChatSubtype::Text))
      return false;
    return lost_once = true;
  });
  trio.a.Say("good morning");
  const std::string line = "<Alice>              good morning\r\n";
  EXPECT_EQ(trio.a.windows.Text("#chat"), "");
  EXPECT_EQ(trio.b.windows.Text("#chat"), line);
  trio.Tick();  // 2 s: sent again
  trio.Tick();
  for (ChatNode* node : {&trio.a, &trio.b, &trio.c}) EXPECT_EQ(node->windows.Text("#chat"), line);
  // Acknowledged: nothing is sent again.
  trio.network.log.clear();
  trio.Tick();
  EXPECT_TRUE(trio.network.log.empty());
  // Too long for a packet: refused whole, never cut.
  EXPECT_FALSE(trio.a.chat->SendChat(1, ChatSubtype::Text, std::vector<uint8_t>(kMaxChatPayload + 1, 'x')));
  EXPECT_TRUE(trio.network.log.empty());
}

// 200 euro signs are 600 bytes, one more than a payload's text: two
// packets, cut between characters, and the private echo shows both.
TEST(ChatDelivery, LongMultiByteLinesArriveWholeInPieces) {
  ChatTrio trio;
  std::string euros;
  for (int i = 0; i < 200; ++i) euros += "\xE2\x82\xAC";
  const std::string first = euros.substr(0, 597);
  const std::string rest = euros.substr(597);
  trio.b.Type("/msg Alice " + euros);
  trio.a.Say(euros);
  EXPECT_EQ(trio.b.windows.Text("#chat"), "<-[Alice]-> " + first + "\r\n<-[Alice]-> " + rest +
                                              "\r\n<Alice>              " + first + "\r\n<Alice>              " + rest +
                                              "\r\n");
  EXPECT_EQ(trio.a.windows.Text("#chat").substr(0, 20), "[*Bob             *]");
  EXPECT_EQ(CountOf(trio.a.windows.Text("#chat"), "\r\n"), 4u);
}

// On a 50 ms link whose round trip the chat has measured, a lost line is
// sent again within a second, as a new frame with the same serial.
TEST(ChatDelivery, ALineLostOnceComesAgainSoonAsANewFrame) {
  ChatTrio trio;
  trio.network.SetLatency(trio.clock, 25);
  trio.a.Type("warming up");
  trio.Run(500);
  std::vector<ChatDatagramView> copies;
  trio.network.SetDropRule([&](const SentDatagram& d) {
    if (d.from != trio.a.address || d.to != trio.b.address || !IsSubtype(d, ChatSubtype::Text)) return false;
    copies.push_back(d.view());
    return copies.size() == 1;
  });
  trio.a.Type("lost once");
  int32_t took = trio.Run(5000, [&] { return trio.b.windows.Text("#chat").find("lost once") != std::string::npos; });
  EXPECT_LT(took, 1000);
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_GT(copies[1].sequence, copies[0].sequence);
  EXPECT_EQ(copies[1].packet.serial, copies[0].packet.serial);
}

TEST(ChatDelivery, RetransmissionsAreAcknowledgedAgainButShownOnce) {
  ChatTrio trio;
  // Bob's acknowledgements to Alice are lost.
  trio.network.SetDropRule(
      [&](const SentDatagram& d) { return d.from == trio.b.address && IsSubtype(d, ChatSubtype::Ack); });
  trio.a.Say("once");
  trio.Tick();  // 2 s
  trio.Tick();  // 4 s
  EXPECT_EQ(CountOf(trio.b.windows.Text("#chat"), "once"), 1u);
  auto acks_from_bob = std::count_if(trio.network.log.begin(), trio.network.log.end(), [&](const SentDatagram& d) {
    return d.from == trio.b.address && IsSubtype(d, ChatSubtype::Ack);
  });
  EXPECT_EQ(acks_from_bob, 3);  // the first copy and both repetitions

  // Copies lost for more than four seconds, past the text filter's memory:
  // the serial still marks the next one as a copy.
  trio.network.SetDropRule([&](const SentDatagram& d) { return d.to == trio.b.address || d.from == trio.b.address; });
  trio.Tick();  // 6 s
  trio.Tick();  // 8 s
  trio.Tick();  // 10 s
  trio.network.SetDropRule(nullptr);
  trio.Tick();  // 12 s
  EXPECT_EQ(CountOf(trio.b.windows.Text("#chat"), "once"), 1u);
  trio.network.log.clear();
  trio.Tick();
  EXPECT_TRUE(trio.network.log.empty());
}

// Carol acknowledged Alice's lines before: she is sent copies until 30 s
// have passed. A stranger that never acknowledged anything (a forged
// sender, perhaps) gets one copy more and no more.
TEST(ChatDelivery, APeerSilentForThirtySecondsDisappearsWithoutALineAndAStrangerGetsOneCopyMore) {
  ChatTrio trio;
  trio.network.Detach(trio.c.address);
  trio.a.Say("anyone?");
  for (int i = 0; i < 14; ++i) trio.Tick();  // 28 s: not yet
  EXPECT_EQ(trio.a.chat->Peer(2).nickname.view(), "Carol");
  trio.Tick();
  EXPECT_TRUE(trio.a.chat->Peer(2).IsFree());
  EXPECT_EQ(trio.a.windows.Text("#chat"), "<Alice>              anyone?\r\n");
  trio.network.log.clear();
  trio.Tick();
  EXPECT_TRUE(trio.network.log.empty());

  const PeerAddress stranger{0x7F000063, 4444};
  std::vector<uint8_t> query(kMaxChatPacket);
  const uint8_t everybody[] = {'*', 0};
  query.resize(BuildChatPacket(query, {'0', 1, ChatSubtype::WhoQuery, "#chat", "Mallory", 1}, everybody));
  trio.a.chat->OnChatPacket(stranger, std::span<const uint8_t>(query).subspan(kChatBodyOffset));
  for (int i = 0; i < 16; ++i) trio.Tick();
  EXPECT_EQ(
      std::count_if(trio.network.log.begin(), trio.network.log.end(),
                    [&](const SentDatagram& d) { return d.to == stranger && IsSubtype(d, ChatSubtype::WhoReply); }),
      2);
}

// /quit sends two quits and ends chat mode; a disconnection instead leaves
// the windows open and says they are offline, and a line typed into one
// joins its channel again.
TEST(ChatDelivery, QuitSendsTwoQuitsButADisconnectionLeavesTheWindowsOffline) {
  ChatTrio trio;
  trio.b.Say("/quit lunch time");
  EXPECT_FALSE(trio.b.chat->IsChatModeOn());
  EXPECT_FALSE(trio.b.windows.ports.HasChatWindows());
  // To Bob himself, Alice and Carol, twice.
  EXPECT_EQ(CountSubtype(trio.network.log, ChatSubtype::Quit), 3 + 3);
  EXPECT_EQ(trio.a.windows.Text("#chat"), "*** Bob has quit Vorn Chat (lunch time).\r\n");
  EXPECT_EQ(trio.c.windows.Text("#chat"), "*** Bob has quit Vorn Chat (lunch time).\r\n");

  trio.c.windows.ClearText();
  trio.a.chat->GoOffline();
  trio.network.Deliver();
  EXPECT_FALSE(trio.a.chat->IsChatModeOn());
  EXPECT_EQ(trio.a.windows.Text("#chat"),
            "*** Bob has quit Vorn Chat (lunch time).\r\n"
            "*** Disconnected: this window is offline. Type a line to join its channel again.\r\n");
  EXPECT_EQ(trio.c.windows.Text("#chat"), "*** Alice has quit Vorn Chat (Leaving).\r\n");
  trio.c.windows.ClearText();
  trio.a.Say("back");
  EXPECT_TRUE(trio.a.chat->IsChatModeOn());
  EXPECT_EQ(trio.c.windows.Text("#chat"), "*** Alice(127.0.0.1:5001) has joined Vorn Chat\r\n");
}

TEST(ChatDelivery, PingTimesAreMeasuredOnTheAskingSide) {
  ChatTrio trio;
  trio.a.Type("/ping bob");
  trio.clock.Advance(150);
  trio.network.Deliver();
  EXPECT_EQ(trio.a.windows.Text("#chat"), "*** Ping time from Bob is 150 ms.\r\n");

  // A retransmitted request carries the time it left.
  trio.network.SetDropRule([&](const SentDatagram& d) { return IsSubtype(d, ChatSubtype::PingRequest); });
  trio.a.Say("/ping #2");
  trio.network.SetDropRule(nullptr);
  trio.clock.Advance(RoundTripEstimator::kMaxIntervalMs + 1);
  trio.a.ui.FireTimers();
  trio.clock.Advance(40);
  trio.network.Deliver();
  EXPECT_NE(trio.a.windows.Text("#chat").find("*** Ping time from Carol is 40 ms.\r\n"), std::string::npos);
}

TEST(ChatDelivery, WhoIsAnsweredForEverybodyOrTheExactKeyWithoutItsPassword) {
  ChatTrio trio;
  trio.a.chat->JoinChannel("#sec pw");
  trio.b.chat->JoinChannel("#sec pw");
  trio.c.chat->JoinChannel("#sec");
  trio.network.Deliver();
  trio.network.log.clear();
  trio.clock.Advance(5000);  // the joins asked the same within the duplicate filter's time
  trio.a.Say("/who #sec pw", "#sec pw");
  std::vector<std::string> answered;
  for (const SentDatagram& d : trio.network.log) {
    if (!IsSubtype(d, ChatSubtype::WhoReply)) continue;
    EXPECT_EQ(d.view().packet.channel, "#sec");
    answered.push_back(std::string(d.view().packet.nickname));
  }
  EXPECT_EQ(answered, (std::vector<std::string>{"Alice", "Bob"}));
  EXPECT_EQ(trio.a.windows.Text("#sec pw"), "\r\nRequesting list of people on #sec pw...\r\n");

  trio.c.Say("/who *", "#sec");
  std::string shown = trio.c.windows.Text("#sec");
  EXPECT_NE(shown.find("Alice is on channel #sec.\r\n"), std::string::npos);
  EXPECT_NE(shown.find("Carol is on channel #sec.\r\n"), std::string::npos);
}

TEST(ChatDelivery, AwayAnswersPrivateMessagesAndBeeps) {
  ChatTrio trio;
  trio.a.Say("/away lunch");
  EXPECT_EQ(trio.b.windows.Text("#chat"), "* Alice              is away (lunch).\r\n");
  for (ChatNode* node : {&trio.a, &trio.b, &trio.c}) node->windows.ClearText();
  trio.clock.Advance(5000);     // the answer repeats the announcement: beyond the duplicate filter
  trio.a.ui.hold_posts = true;  // the beep waits for the UI thread
  trio.b.Say("/msg ALICE are you there?");
  EXPECT_EQ(trio.b.windows.Text("#chat"), "<-[ALICE]-> are you there?\r\n* Alice              is away (lunch).\r\n");
  EXPECT_EQ(trio.a.windows.Text("#chat"), "[*Bob             *] are you there?\r\n");
  EXPECT_EQ(trio.a.dialogs.beeps, 0);
  trio.a.ui.RunHeld();
  EXPECT_EQ(trio.a.dialogs.beeps, 1);
  EXPECT_TRUE(trio.c.windows.Text("#chat").empty());
}

// With the chat list open the list is refreshed instead.
TEST(ChatDelivery, JoinPartAndChatListNotices) {
  ChatTrio trio;
  trio.c.windows.ports.OpenChatList();
  trio.b.Say("/part");
  EXPECT_EQ(trio.a.windows.Text("#chat"), "*** Bob has left channel #chat\r\n");
  EXPECT_TRUE(trio.a.chat->Peer(1).channel.empty());

  ChatNode dave("Dave", 5004, trio.clock, trio.network);
  dave.chat->JoinChannel("#chat");
  trio.network.Deliver();
  EXPECT_EQ(trio.a.windows.Text("#chat"),
            "*** Bob has left channel #chat\r\n*** Dave(127.0.0.1:5004) has joined Vorn Chat\r\n");
  EXPECT_EQ(trio.c.windows.Text("#chat"), "");
}

}  // namespace
}  // namespace vorn
