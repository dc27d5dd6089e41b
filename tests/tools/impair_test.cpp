// The impairing relay: its decisions, its delay queue, and the relay itself
// driven pass by pass over loopback sockets with a manual clock.
#include <gtest/gtest.h>

#include <set>

#include "impair/delay_queue.h"
#include "impair/impair_options.h"
#include "impair/impairing_relay.h"
#include "tools/tool_test_support.h"

namespace vorn {
namespace {

using tooltest::Bytes;
using tooltest::TestPeer;

constexpr int kDecisions = 20'000;

TEST(Impairer, MakesEachKindOfDecisionAtItsRateAndTheSameForTheSameSeed) {
  Impairer impairer(42, {.drop = 0.2, .duplicate = 0.1, .reorder = 0.05, .delay_ms = 30, .jitter_ms = 20});
  int dropped = 0, duplicated = 0, held = 0, passed = 0;
  std::set<int32_t> delays;
  for (int i = 0; i < kDecisions; ++i) {
    ImpairDecision d = impairer.Decide();
    dropped += d.drop;
    if (d.drop) continue;
    ++passed;
    duplicated += d.copies == 2;
    held += d.hold;
    delays.insert(d.delay_ms.begin(), d.delay_ms.end());
  }
  EXPECT_NEAR(dropped / double(kDecisions), 0.2, 0.015);
  EXPECT_NEAR(duplicated / double(passed), 0.1, 0.015);
  EXPECT_NEAR(held / double(passed), 0.05, 0.01);
  // Delays from 30 to 50 ms, and nothing outside.
  EXPECT_EQ(std::pair(*delays.begin(), *delays.rbegin()), std::pair(30, 50));

  // The same seed makes the same decisions, and zero rates do nothing.
  ImpairmentRates rates{.drop = 0.3, .duplicate = 0.2, .reorder = 0.1, .delay_ms = 0, .jitter_ms = 100};
  Impairer a(7, rates), b(7, rates), untouched(1, {});
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(untouched.Decide(), ImpairDecision{}) << "zero rates changed decision " << i;
    ASSERT_EQ(a.Decide(), b.Decide()) << "decision " << i;
  }
}

// Release by due time and the bound are the relay's (RelayTest.Delays...).
TEST(DelayQueue, ReleasesAcrossTheClockWrapAndForgetsADroppedClient) {
  DelayQueue queue(3);
  EXPECT_FALSE(queue.Push(0, 0, RelayDirection::ToClient, std::vector<uint8_t>(kMaxRelayDatagram + 1)));
  int32_t late = INT32_MAX - 5;
  int32_t later = static_cast<int32_t>(static_cast<uint32_t>(late) + 10);  // wrapped to negative
  ASSERT_TRUE(queue.Push(later, 1, RelayDirection::ToTarget, Bytes("2")));
  ASSERT_TRUE(queue.Push(late, 2, RelayDirection::ToTarget, Bytes("1")));
  EXPECT_EQ(queue.WaitMs(late), 0);
  queue.DropClient(2);
  EXPECT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.WaitMs(late), 10);
  const QueuedDatagram* due = queue.PopDue(later);
  ASSERT_NE(due, nullptr);
  EXPECT_EQ(due->client, 1u);
}

class RelayTest : public ::testing::Test {
 protected:
  void Open(ImpairmentRates to_target, ImpairmentRates to_client = {}, size_t max_clients = 4, size_t max_delayed = 0) {
    RelayConfig config;
    config.target = target_.address();
    config.rates = {to_target, to_client};
    config.seed = 99;
    config.max_clients = max_clients;
    if (max_delayed > 0) config.max_delayed = max_delayed;
    std::string error;
    ASSERT_TRUE(relay_.Open(config, error)) << error;
  }
  // One loop pass of the relay after each datagram, as its thread would do.
  void Pass(int wait_ms = 1000) { relay_.RunOnce(std::chrono::milliseconds(wait_ms)); }
  void SendThrough(const TestPeer& from, std::string_view text) {
    from.Send(relay_.LocalAddress(), text);
    Pass();
  }
  static std::string Text(const std::optional<tooltest::Datagram>& d) {
    return d ? std::string(d->bytes.begin(), d->bytes.end()) : std::string("<none>");
  }

  ManualClock clock_;
  TestPeer target_;
  ImpairingRelay relay_{clock_};
};

TEST_F(RelayTest, GivesEachClientItsOwnUpstreamPortAndSendsAnswersBackToIt) {
  Open({});
  TestPeer alice, bob;
  SendThrough(alice, "from alice");
  auto at_target_a = target_.ReceiveFrom();
  SendThrough(bob, "from bob");
  auto at_target_b = target_.ReceiveFrom();
  ASSERT_TRUE(at_target_a && at_target_b);
  EXPECT_EQ(Text(at_target_a), "from alice");
  EXPECT_EQ(Text(at_target_b), "from bob");
  EXPECT_NE(at_target_a->from, at_target_b->from);
  EXPECT_EQ(relay_.ClientCount(), 2u);

  target_.Send(at_target_b->from, "to bob");
  target_.Send(at_target_a->from, "to alice");
  Pass();
  auto at_bob = bob.ReceiveFrom(), at_alice = alice.ReceiveFrom();
  EXPECT_EQ(Text(at_bob), "to bob");
  EXPECT_EQ(Text(at_alice), "to alice");
  ASSERT_TRUE(at_bob.has_value());
  EXPECT_EQ(at_bob->from, relay_.LocalAddress());
  EXPECT_TRUE(alice.Quiet() && bob.Quiet());

  // Nobody but the target may use an upstream port to reach a client.
  TestPeer stranger;
  stranger.Send(at_target_a->from, "sneaking in");
  Pass(200);
  EXPECT_TRUE(alice.Quiet());
  EXPECT_EQ(relay_.Counters().foreign, 1u);
}

TEST_F(RelayTest, DuplicatesAndReordersInTheDirectionConfigured) {
  Open({.reorder = 1.0}, {.duplicate = 1.0});
  TestPeer client;
  // Every datagram is to be held back, but only one can be: so 2 passes 1,
  // and 4 passes 3.
  for (std::string_view text : {"1", "2", "3", "4"}) SendThrough(client, text);
  std::string order;
  while (auto d = target_.ReceiveFrom(200)) order += Text(d);
  EXPECT_EQ(order, "2143");
  EXPECT_EQ(relay_.Counters()[RelayDirection::ToTarget].reordered, 2u);

  SendThrough(client, "5");  // held; gives the target the client's upstream port
  clock_.Advance(1000);
  Pass(0);
  auto five = target_.ReceiveFrom();
  ASSERT_TRUE(five.has_value()) << "a held datagram with no successor must still leave";
  target_.Send(five->from, "answer");
  Pass();
  EXPECT_EQ(Text(client.ReceiveFrom()), "answer");
  EXPECT_EQ(Text(client.ReceiveFrom()), "answer");
  EXPECT_TRUE(client.Quiet());
  const DirectionCounters down = relay_.Counters()[RelayDirection::ToClient];
  EXPECT_EQ(std::pair(down.bytes_received, down.bytes_sent), std::pair(uint64_t{6}, uint64_t{12}));
}

TEST_F(RelayTest, DelaysByTheClockAndKeepsTheQueueBounded) {
  Open({.delay_ms = 100}, {}, 4, 2);
  TestPeer client;
  for (std::string_view text : {"a", "b", "c"}) SendThrough(client, text);
  EXPECT_TRUE(target_.Quiet());
  clock_.Advance(99);
  Pass(0);
  EXPECT_TRUE(target_.Quiet());
  clock_.Advance(1);
  Pass(0);
  EXPECT_EQ(Text(target_.ReceiveFrom()), "a");
  EXPECT_EQ(Text(target_.ReceiveFrom()), "b");
  EXPECT_TRUE(target_.Quiet());
  const DirectionCounters up = relay_.Counters()[RelayDirection::ToTarget];
  EXPECT_EQ(up.delayed, 2u);
  EXPECT_EQ(up.queue_full, 1u);
}

TEST_F(RelayTest, RefusesClientsBeyondTheLimit) {
  Open({}, {}, 1);
  TestPeer first, second;
  SendThrough(first, "in");
  SendThrough(second, "out");
  EXPECT_EQ(Text(target_.ReceiveFrom()), "in");
  EXPECT_TRUE(target_.Quiet());
  EXPECT_EQ(relay_.Counters().clients_refused, 1u);
}

TEST(ImpairOptions, ParsesTheFlagsAndRefusesTargetsOffThisMachine) {
  std::string error;
  auto options = ParseImpairOptions({"--listen", "4000", "--target", "127.0.0.1:2213", "--drop", "0.2", "--dup=0.05",
                                     "--reorder", "0.1", "--delay-ms", "20", "--jitter-ms", "5", "--seed", "12"},
                                    error);
  ASSERT_TRUE(options.has_value()) << error;
  EXPECT_EQ(options->config.target, (PeerAddress{0x7F000001, 2213}));
  ImpairmentRates expected{.drop = 0.2, .duplicate = 0.05, .reorder = 0.1, .delay_ms = 20, .jitter_ms = 5};
  EXPECT_EQ(options->config.rates[0], expected);
  EXPECT_EQ(options->config.rates[1], expected);

  tooltest::ExpectRefused(ParseImpairOptions, {{"--target", "10.0.0.1:2213"},
                                               {"--listen", "1"},
                                               {"--target", "127.0.0.1:1", "--drop", "1.5"},
                                               {"--target", "127.0.0.1:1", "--delay-ms", "60001"},
                                               {"--target", "127.0.0.1:1", "--seed", "x"},
                                               {"--target", "127.0.0.1:1", "--bogus"}});
  RelayConfig config;
  config.target = {0x0A000001, 2213};
  EXPECT_FALSE(CheckRelayConfig(config).empty());
}

}  // namespace
}  // namespace vorn
