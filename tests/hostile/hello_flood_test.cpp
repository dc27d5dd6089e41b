// A flood of greetings from many source ports: the table has four places
// and must keep them, refuse the rest, and still serve its real players.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hostile/hostile_support.h"
#include "support/server_harness.h"

namespace vorn {
namespace {

using hostile::Rows;

constexpr size_t kFloodPorts = 200;

class HelloFlood : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(h.started);
    ASSERT_EQ(h.Greet(alice, "alice"), kTypeAccepted);
    ASSERT_EQ(h.Greet(bob, "bob"), kTypeAccepted);
    for (size_t i = 0; i < kFloodPorts; ++i) {
      flood.push_back(std::make_unique<FakeClient>());
      ASSERT_TRUE(flood.back()->bound());
    }
  }
  // Sends every greeting first, then collects one answer per port, each
  // wait bounded.
  std::string Flood(std::string_view nickname_prefix) {
    for (size_t i = 0; i < flood.size(); ++i)
      flood[i]->SendHello(h.address(), std::string(nickname_prefix) + std::to_string(i));
    std::string answers;
    for (const auto& client : flood) answers += client->ReceiveType();
    return answers;
  }

  ServerHarness h;
  FakeClient alice, bob;
  std::vector<std::unique_ptr<FakeClient>> flood;
};

TEST_F(HelloFlood, TheTableStaysAtFourAndItsPlayersAreStillServed) {
  const std::string answers = Flood("f");
  // Two places were free: the first two ports take them, every other one
  // is told the sub-net is full.
  EXPECT_EQ(answers.substr(0, 2), std::string(2, kTypeAccepted));
  EXPECT_EQ(answers.substr(2), std::string(kFloodPorts - 2, kTypeRejectedFull));
  const ClientEntries entries = h.server.table().Snapshot();
  EXPECT_EQ(entries[0].address, alice.address());
  EXPECT_EQ(entries[1].address, bob.address());
  EXPECT_EQ(entries[2].address, flood[0]->address());
  EXPECT_EQ(entries[3].address, flood[1]->address());

  // A second wave, every nickname taken or the table full, changes nothing.
  const auto table_before = Rows(h.server.table().Snapshot());
  const std::string again = Flood("f");  // the two holders greet again and keep their places
  EXPECT_EQ(again.substr(0, 2), std::string(2, kTypeAccepted));
  EXPECT_EQ(again.substr(2), std::string(kFloodPorts - 2, kTypeRejectedFull));
  EXPECT_EQ(Rows(h.server.table().Snapshot()), table_before);

  // The real players are answered and pinged as before.
  ASSERT_TRUE(alice.Sync(h.address()).has_value());
  h.server.ServerTick();  // pings entry 1
  const hostile::Bytes ping = bob.Receive();
  ASSERT_EQ(ping.size(), kPingSize);
  EXPECT_EQ(ping[kTypeOffset], kTypePingRequest);
}

TEST_F(HelloFlood, ForgedNicknamesCannotEvictPlayersAndSilentFloodersTimeOut) {
  // Every port claims a nickname already held.
  for (size_t i = 0; i < flood.size(); ++i) flood[i]->SendHello(h.address(), i % 2 ? "alice" : "bob");
  std::string answers;
  for (const auto& client : flood) answers += client->ReceiveType();
  EXPECT_EQ(answers, std::string(kFloodPorts, kTypeRejectedNickname));
  EXPECT_EQ(h.Entry(0).address, alice.address());
  EXPECT_EQ(h.Entry(1).address, bob.address());
  EXPECT_FALSE(h.Entry(2).InUse());
  EXPECT_FALSE(h.Entry(3).InUse());

  // Two flooders fill the table; once silent for a minute they are
  // dropped and a real player gets in again.
  EXPECT_EQ(Flood("g").substr(0, 2), std::string(2, kTypeAccepted));
  FakeClient carol;
  EXPECT_EQ(h.Greet(carol, "carol"), kTypeRejectedFull);
  h.clock.Advance((LocalServer::kSilenceLimitS + 2) * 1000);
  // Alice and Bob keep talking; the flooders do not.
  for (const FakeClient* player : {&alice, &bob}) {
    std::array<uint8_t, 64> frame{};
    const uint8_t payload[] = {1};
    player->Send(h.address(), std::span(frame).first(BuildGameFrame(
                                  frame, {kTypeBroadcastFrame, 1, {0x68, 0x46}, {0x68, 0x46}, payload})));
  }
  for (const FakeClient* player : {&alice, &bob}) ASSERT_TRUE(player->Sync(h.address()).has_value());
  h.server.SweepTimeouts();  // what the one-second tick does
  EXPECT_EQ(h.Greet(carol, "carol"), kTypeAccepted);
  EXPECT_EQ(h.Entry(0).address, alice.address());
  EXPECT_EQ(h.Entry(1).address, bob.address());
  EXPECT_EQ(h.Entry(2).address, carol.address());
  EXPECT_FALSE(h.Entry(3).InUse());
}

TEST_F(HelloFlood, ANodeThatDoesNotServeNeitherAdmitsNorRelays) {
  h.server.SetServing(false);
  const auto table_before = Rows(h.server.table().Snapshot());
  FakeClient stranger;
  stranger.SendHello(h.address(), "forged");
  std::array<uint8_t, 2048> frame{};
  const std::array<uint8_t, 1500> payload{};
  alice.Send(h.address(),
             std::span(frame).first(BuildGameFrame(frame, {kTypeBroadcastFrame, 1, {0x45, 0}, {0x45, 0}, payload})));
  for (const FakeClient* peer : {&stranger, &alice, &bob}) {
    const auto before_answer = peer->Sync(h.address());
    ASSERT_TRUE(before_answer.has_value());
    EXPECT_TRUE(before_answer->empty()) << "answered or relayed";
  }
  EXPECT_EQ(Rows(h.server.table().Snapshot()), table_before);
}

}  // namespace
}  // namespace vorn
