// Answers to requests that anyone may send, measured as a stranger with a
// forged source would use them: answer bytes per request byte, first while
// the stranger's burst lasts, then in the steady state of a flood.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "hostile/hostile_support.h"
#include "platform/rate_limit.h"
#include "support/server_harness.h"

namespace vorn {
namespace {

TEST(TokenBucket, BurstRateAndAnAnswerBudgetEarnedByRequests) {
  TokenBucket bucket(3, 2);
  int taken = 0;
  for (int i = 0; i < 10; ++i) taken += bucket.Take(0) ? 1 : 0;
  EXPECT_EQ(taken, 3);
  EXPECT_FALSE(bucket.Take(499));
  EXPECT_TRUE(bucket.Take(500));
  EXPECT_FALSE(bucket.Take(-100));  // a clock that went back gives nothing
  EXPECT_TRUE(bucket.Take(100'000, 3));
  EXPECT_FALSE(bucket.Take(100'000));  // a long pause refills the burst only

  // A burst of 100 bytes, then only what the requests weigh; 500 sources,
  // more than the table holds, share ten answers a second.
  SourceLimiter limiter({100, 1000, {10, 10}});
  const PeerAddress one{0x7F000001, 1};
  EXPECT_TRUE(limiter.Allow(one, 0, 5, 90));
  EXPECT_FALSE(limiter.Allow(one, 0, 5, 90));
  for (int i = 0; i < 14; ++i) EXPECT_FALSE(limiter.Allow(one, 0, 5, 90));
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

}  // namespace
}  // namespace vorn
