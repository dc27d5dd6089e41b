// Datagrams from strangers to a server: floods of greetings, every type cut
// below its layout or longer than the largest taken, requests that would
// make it answer a forged source, and wraps from proxies that a player did
// not greet through. The table keeps its players, and they are still served.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "hostile/hostile_support.h"
#include "platform/rate_limit.h"
#include "support/server_harness.h"

namespace vorn {
namespace {

using namespace hostile;

// A flood of greetings from many source ports: the table has four places
// and must keep them, refuse the rest, and still serve its real players.
constexpr size_t kFloodPorts = 200;

// A server with two players, Alice and Bob.
class TwoPlayers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(h.started);
    ASSERT_EQ(h.Greet(alice, "alice"), kTypeAccepted);
    ASSERT_EQ(h.Greet(bob, "bob"), kTypeAccepted);
  }
  ServerHarness h;
  FakeClient alice, bob;
};

class HelloFlood : public TwoPlayers {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TwoPlayers::SetUp());
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

  std::vector<std::unique_ptr<FakeClient>> flood;
};

TEST_F(HelloFlood, TheTableStaysAtFourItsPlayersAreStillServedAndSilentFloodersTimeOut) {
  // Every port claims a nickname already held.
  for (size_t i = 0; i < flood.size(); ++i) flood[i]->SendHello(h.address(), i % 2 ? "alice" : "bob");
  std::string answers;
  for (const auto& client : flood) answers += client->ReceiveType();
  EXPECT_EQ(answers, std::string(kFloodPorts, kTypeRejectedNickname));
  EXPECT_FALSE(h.Entry(2).InUse());

  // Two places are free: the first two ports take them, every other one is
  // told the sub-net is full.
  answers = Flood("f");
  EXPECT_EQ(answers.substr(0, 2), std::string(2, kTypeAccepted));
  EXPECT_EQ(answers.substr(2), std::string(kFloodPorts - 2, kTypeRejectedFull));
  EXPECT_EQ(h.Entry(2).address, flood[0]->address());
  EXPECT_EQ(h.Entry(3).address, flood[1]->address());

  // The real players are answered and pinged as before.
  ASSERT_TRUE(alice.Sync(h.address()).has_value());
  h.server.ServerTick();  // pings entry 1
  const hostile::Bytes ping = bob.Receive();
  ASSERT_EQ(ping.size(), kPingSize);
  EXPECT_EQ(ping[kTypeOffset], kTypePingRequest);

  // Once silent for a minute the flooders are dropped, while Alice and Bob
  // keep talking, and a real player gets in again.
  FakeClient carol;
  EXPECT_EQ(h.Greet(carol, "carol"), kTypeRejectedFull);
  h.clock.Advance((LocalServer::kSilenceLimitS + 2) * 1000);
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

// Datagrams of every type at every length below its layout, and longer than
// the largest taken, through a real socket: the server neither answers nor
// relays them.
// Bob is the attacker.
using ServerUnderShortAndLongDatagrams = TwoPlayers;

TEST_F(ServerUnderShortAndLongDatagrams, NeitherIsAnsweredNorRelayed) {
  FakeClient& attacker = bob;
  FakeClient outsider;
  const auto table_before = Rows(h.server.table().Snapshot());
  const std::string window_before = h.window.Text();
  // Each client's datagrams arrived before the answer to its own query. The
  // attack goes in batches, each followed by the attacker's query, so that
  // the server's socket buffer never overflows on a loaded machine and drops
  // a query instead of the attack.
  const auto nothing_arrived = [&](const FakeClient& client, const char* who) {
    const auto before = client.Sync(h.address());
    ASSERT_TRUE(before.has_value()) << who << " was not answered";
    EXPECT_TRUE(before->empty()) << who << ": " << before->size() << " datagrams arrived";
  };
  const std::vector<Bytes> cuts = EveryShortCut();
  for (size_t i = 0; i < cuts.size(); ++i) {
    attacker.Send(h.address(), cuts[i]);
    if (i % 64 == 63) nothing_arrived(attacker, "the attacker");
  }
  // One byte over the largest datagram, and far over it: the receive buffer
  // must not hand the handlers a clipped copy that looks whole.
  for (size_t size : {kMaxDatagram + 1, size_t{4096}}) {
    for (const MessageType& known : kMessageTypes) attacker.Send(h.address(), Padded(WellFormed(known.type), size));
    nothing_arrived(attacker, "the attacker");
  }
  // Near the largest UDP datagram.
  attacker.Send(h.address(), Padded(WellFormed(kTypeBroadcastFrame), 65000));
  nothing_arrived(attacker, "the attacker");
  outsider.Send(h.address(), Padded(WellFormed(kTypeHello), 65000));
  nothing_arrived(outsider, "the outsider");
  nothing_arrived(alice, "alice");
  EXPECT_EQ(Rows(h.server.table().Snapshot()), table_before);
  EXPECT_EQ(h.window.Text(), window_before);

  // The largest datagram that is taken is relayed whole: the test would
  // have seen a relay of the oversized ones.
  attacker.Send(h.address(), Padded(WellFormed(kTypeBroadcastFrame), kMaxDatagram));
  const Bytes relayed = alice.Receive();
  ASSERT_EQ(relayed.size(), kMaxDatagram + kWrapHeaderSize);
  EXPECT_EQ(relayed[kWrapHeaderSize + kTypeOffset], kTypeGameFrame);
}

// Answers to requests that anyone may send, measured as a stranger with a
// forged source would use them: answer bytes per request byte, first while
// the stranger's burst lasts, then in the steady state of a flood.
TEST(TokenBucket, BurstRateAndAnAnswerBudgetEarnedByRequests) {
  TokenBucket bucket(3, 2);
  int taken = 0;
  for (int i = 0; i < 10; ++i) taken += bucket.Take(0) ? 1 : 0;
  EXPECT_EQ(taken, 3);
  EXPECT_FALSE(bucket.Take(-100));  // a clock that went back gives nothing
  EXPECT_TRUE(bucket.Take(100'000, 3));
  EXPECT_FALSE(bucket.Take(100'000));  // a long pause refills the burst only

  // A burst of 100 bytes, then only what the requests weigh; 500 sources,
  // more than the table holds, share ten answers a second.
  SourceLimiter limiter({100, 1000, {10, 10}});
  const PeerAddress one{0x7F000001, 1};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(limiter.Allow(one, 0, 5, 90), i == 0);
  EXPECT_TRUE(limiter.Allow(one, 0, 5, 90));     // 16 more requests of 5 bytes paid for it
  EXPECT_TRUE(limiter.Allow(one, 1000, 5, 90));  // quiet long enough: the burst again
  size_t allowed = 0;
  for (uint16_t port = 2; port <= 500; ++port) allowed += limiter.Allow({0x7F000001, port}, 2000, 5, 50) ? 1 : 0;
  EXPECT_EQ(allowed, 10u);
}

struct Reflection {
  size_t first_answer_bytes = 0;
  size_t request_bytes = 0;
  size_t answer_bytes = 0;
};

// The stranger sends per_second requests for seconds on the server's clock;
// a player's query (always answered) marks when they were all handled.
Reflection Measure(ServerHarness& h, const FakeClient& player, const hostile::Bytes& request, int per_second,
                   int seconds) {
  FakeClient stranger;
  Reflection r;
  for (int s = 0; s < seconds; ++s) {
    h.clock.Advance(1000);
    for (int i = 0; i < per_second; ++i) stranger.Send(h.address(), request);
    EXPECT_TRUE(player.Sync(h.address()).has_value());
    size_t answered = 0;
    for (auto d = stranger.Receive(std::chrono::milliseconds(0)); !d.empty();
         d = stranger.Receive(std::chrono::milliseconds(0)))
      answered += d.size();
    if (s == 0) r.first_answer_bytes = answered;
    r.answer_bytes += answered;
    r.request_bytes += request.size() * static_cast<size_t>(per_second);
  }
  return r;
}

TEST(Reflection, ServerQueriesAnswerAStrangerAtMostAsManyBytesAsItSends) {
  ServerHarness h;
  FakeClient player;
  ASSERT_EQ(h.Greet(player, "player"), kTypeAccepted);
  constexpr int kPerSecond = 20;
  constexpr int kSeconds = 60;
  for (char type : {kTypePlayerListRequest, kTypeNamesRequest, kTypeMotdRequest}) {
    const hostile::Bytes request = hostile::WellFormed(type);
    const Reflection r = Measure(h, player, request, kPerSecond, kSeconds);
    const double first = static_cast<double>(r.first_answer_bytes) / static_cast<double>(request.size() * kPerSecond);
    // After the first few answers: everything beyond the burst allowance.
    const size_t burst = LocalServer::kAnswerLimits.burst_bytes;
    const double steady = static_cast<double>(r.answer_bytes - std::min(r.answer_bytes, size_t{burst})) /
                          static_cast<double>(r.request_bytes);
    std::printf("reflection '%c' %zu B request, %d/s: first second %.2fx, steady %.2fx\n", type, request.size(),
                kPerSecond, first, steady);
    EXPECT_LE(steady, 1.0) << type;
  }
}

// Any proxy that wraps what its players send works, each for its own
// players: the server keys a wrap to the way the named player greeted.
TEST(ProxiedPlayers, AWrapCountsOnlyFromTheProxyThePlayerGreetedThrough) {
  ServerHarness h;
  ASSERT_TRUE(h.started);
  ASSERT_TRUE(h.server.StartLocalServer());
  FakeClient direct, proxy, other_proxy;
  ASSERT_EQ(h.Greet(direct, "direct"), kTypeAccepted);
  const Bytes hello = WellFormed(kTypeHello), bye = WellFormed(kTypeBye);
  proxy.Send(h.address(), Wrapped(kClaimedAddress, hello));
  ASSERT_TRUE(direct.Sync(h.address()));
  ASSERT_EQ(h.Entry(1).address, kClaimedAddress);

  for (const Bytes* forged : {&bye, &hello}) {
    other_proxy.Send(h.address(), Wrapped(kClaimedAddress, *forged));  // not its player
    proxy.Send(h.address(), Wrapped(direct.address(), *forged));       // a player who came directly
  }
  ASSERT_TRUE(direct.Sync(h.address()));
  EXPECT_EQ(h.Entry(0).address, direct.address());
  EXPECT_EQ(h.Entry(1).via, proxy.address());
  EXPECT_TRUE(other_proxy.Receive(std::chrono::milliseconds(0)).empty());

  // Its own proxy speaks for it: the broadcast is relayed, the bye taken.
  proxy.Send(h.address(), Wrapped(kClaimedAddress, WellFormed(kTypeBroadcastFrame)));
  std::optional<std::vector<Bytes>> relayed = direct.Sync(h.address());
  ASSERT_TRUE(relayed && relayed->size() == 1u);
  EXPECT_EQ(ParseProxyWrap(relayed->front())->address, kClaimedAddress);
  proxy.Send(h.address(), Wrapped(kClaimedAddress, bye));
  ASSERT_TRUE(direct.Sync(h.address()));
  EXPECT_FALSE(h.Entry(1).InUse());
  EXPECT_EQ(h.Entry(0).Nickname(), "direct");
}

}  // namespace
}  // namespace vorn
