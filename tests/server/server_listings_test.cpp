#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/server_harness.h"

namespace vorn {
namespace {

std::string AsText(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

TEST(ServerListings, PingRepliesGiveRoundTripLossAndTheGamePlayedInListsForAnyone) {
  ServerHarness h;
  FakeClient own, bob;
  ASSERT_EQ(h.Greet(own, "own"), kTypeAccepted);
  ASSERT_EQ(h.Greet(bob, "bob"), kTypeAccepted);
  h.SetOwnGame("DOOM2");
  h.server.QueryGameInfo();

  // Bob's turn comes every ten ticks; he answers 7 of 10 pings.
  const std::array<int, 10> round_trips = {100, 200, 130, -1, 130, -1, 130, -1, 130, 130};
  const std::array<int, 10> averages = {100, 130, 130, 130, 130, 130, 130, 130, 130, 130};
  for (size_t ping = 0; ping < round_trips.size(); ++ping) {
    h.clock.Advance(1000);
    h.server.ServerTick();
    const std::vector<uint8_t> request = bob.Receive();
    const std::optional<PingRequest> parsed = ParsePingRequest(request);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->game_name, "DOOM2");  // the server's own game
    if (round_trips[ping] >= 0) {
      h.clock.Advance(round_trips[ping]);
      std::array<uint8_t, kPingSize> reply{};
      const PingReply answer{"DESCENTR", parsed->time_stamp_ms, {0x51, 0x03}};
      bob.Send(h.address(), std::span(reply).first(BuildPingReply(reply, answer)));
      ASSERT_TRUE(bob.Sync(h.address()).has_value());
      EXPECT_EQ(h.Entry(1).average_ping_ms, averages[ping]) << "ping " << ping;
    }
    for (int tick = 1; tick < 10; ++tick) {
      h.clock.Advance(1000);
      h.server.ServerTick();
    }
  }
  EXPECT_EQ(h.Entry(1).pings_sent, 10);
  EXPECT_EQ(h.Entry(1).ping_replies, 7);
  EXPECT_EQ(h.Entry(1).game_socket, 0x5103);
  // Queries are answered to any sender; the list shows the game this
  // machine runs in entry 0.
  FakeClient stranger;
  stranger.SendFrameOnly(h.address(), kTypeMotdRequest);
  EXPECT_EQ(AsText(stranger.Receive()), std::string("VORNwWelcome!\0", 14));
  stranger.SendFrameOnly(h.address(), kTypePlayerListRequest);
  const std::string list = AsText(stranger.Receive());
  EXPECT_EQ(list.size(), 5u + 4 * 72 + 1);  // header, underline, two rows, zero
  EXPECT_EQ(list.find(Format(" 0 own             127.0.0.1       %-5u DOOM2 ", unsigned{own.address().port})),
            5u + 144);
  EXPECT_NE(list.find(" DESCENTR(+3)      1   130   30\n"), std::string::npos);
  EXPECT_NE(h.window.Text().find("Games!\r\n"), std::string::npos);
}

TEST(ServerListings, PlayerInfoRequestsGoToTheTrackerOnlyWhenThereIsOne) {
  FakeClient tracker(LocalServer::kTrackerPlayerInfoPort);
  if (!tracker.bound()) GTEST_SKIP() << "port 6666 is taken on this machine";
  ServerHarness h;
  FakeClient asker;
  auto ask = [&](std::string_view nickname) {
    std::array<uint8_t, kPlayerInfoRequestSize> request{};
    asker.Send(h.address(), std::span(request).first(BuildPlayerInfoRequest(request, {nickname})));
    ASSERT_TRUE(asker.Sync(h.address()).has_value());
  };

  // The configured tracker port is not the one asked.
  h.addresses.tracker.Store({FakeClient::kLoopback, 7000});
  ask("bob");
  std::vector<uint8_t> received = tracker.Receive();
  std::optional<ForwardedPlayerInfo> forwarded = ParseForwardedPlayerInfo(received);
  ASSERT_TRUE(forwarded.has_value());
  EXPECT_EQ(forwarded->nickname, "bob");
  EXPECT_EQ(forwarded->client, asker.address());

  h.addresses.tracker.Clear();
  ask("carol");  // nowhere to go: not sent to address 0
  EXPECT_NE(h.window.Text().find("Who!\r\nWho!\r\n"), std::string::npos);
  h.addresses.tracker.Store({FakeClient::kLoopback, 6666});
  ask("dave");
  received = tracker.Receive();
  forwarded = ParseForwardedPlayerInfo(received);
  ASSERT_TRUE(forwarded.has_value());
  EXPECT_EQ(forwarded->nickname, "dave");
}

}  // namespace
}  // namespace vorn
