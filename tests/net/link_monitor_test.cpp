// One link driven second by second with a manual clock: the peer's answers
// report how many game datagrams arrived, and automatic protection follows
// the loss they show. Only the answer to the question asked counts.
#include "net/link_monitor.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace vorn {
namespace {

constexpr PeerAddress kSelf{0x7F000001, 2213};
constexpr PeerAddress kPeer{0x7F000001, 4000};
constexpr PeerAddress kThin{0x7F000001, 4002};
constexpr int kFramesPerSecond = 35;

class LinkMonitorTest : public ::testing::Test {
 protected:
  LinkMonitorTest() { addresses.local.Store(kSelf); }

  // How many datagrams an empty game datagram to peer takes (counted as sent).
  int CopiesFor(PeerAddress peer) {
    size_t unused = 0;
    return links.SecondFor(peer, {}, {}, {}, unused) == LinkMonitor::Second::kNone ? 1 : 2;
  }

  // One second of game traffic toward the peer, of which lost_per_mille
  // per thousand datagrams do not arrive; then the tick's question and
  // the peer's answer. The copies each frame got, summed.
  int PlaySecond(int lost_per_mille, uint32_t flags = capability::kDropsRepeats) {
    int copies = 0;
    for (int i = 0; i < kFramesPerSecond; ++i) copies += CopiesFor(kPeer);
    thin_copies = CopiesFor(kThin);
    thin_sent += static_cast<uint32_t>(thin_copies);
    sent_total += static_cast<uint64_t>(copies);
    lost_milli += static_cast<uint64_t>(copies * lost_per_mille);
    clock.Advance(1000);
    question.reset();
    links.Tick();
    if (!question) return copies;
    const auto arrived = static_cast<uint32_t>(sent_total - lost_milli / 1000);
    Answer(kPeer, {LinkProbeKind::kAnswer, flags, question->number, arrived});
    if (thin_question) Answer(kThin, {LinkProbeKind::kAnswer, flags, thin_question->number, thin_sent});
    return copies;
  }
  void Answer(PeerAddress from, const LinkProbe& answer) {
    std::array<uint8_t, kLinkProbeSize> datagram{};
    BuildLinkProbe(datagram, answer);
    links.OnLinkProbe(datagram, from);
  }

  ManualClock clock;
  SharedAddresses addresses;
  PeerCapabilities capabilities;
  std::optional<LinkProbe> question;
  std::optional<LinkProbe> thin_question;
  int thin_copies = 0;     // what a link of one frame a second got last
  uint32_t thin_sent = 0;  // all of which arrive
  uint64_t sent_total = 0;
  uint64_t lost_milli = 0;  // datagrams lost so far, in thousandths
  LinkMonitor links{clock, addresses, capabilities,
                    [this](PeerAddress to, std::span<const uint8_t> datagram) {
                      if (to == kPeer) question = ParseLinkProbe(datagram);
                      if (to == kThin) thin_question = ParseLinkProbe(datagram);
                      return static_cast<int>(datagram.size());
                    },
                    [] { return capability::kDropsRepeats; }};
};

TEST_F(LinkMonitorTest, AutomaticProtectsALossyLinkAndLetsGoAfterAQuietMinute) {
  for (int second = 0; second < 30; ++second) EXPECT_EQ(PlaySecond(2), kFramesPerSecond) << second;  // 0.2%
  EXPECT_EQ(thin_copies, 1);
  int seconds_to_protect = 0;
  while (PlaySecond(50) == kFramesPerSecond && seconds_to_protect < 30) ++seconds_to_protect;  // 5%
  EXPECT_LT(seconds_to_protect, 10);
  EXPECT_EQ(PlaySecond(0), 2 * kFramesPerSecond);
  // A link too thin to judge alone follows the node's busy one.
  EXPECT_EQ(thin_copies, 2);
  int seconds_to_release = 0;
  while (PlaySecond(0) == 2 * kFramesPerSecond && seconds_to_release < 120) ++seconds_to_release;
  EXPECT_GE(seconds_to_release, 55);
  EXPECT_LE(seconds_to_release, 62);

  LinkReport report;
  ASSERT_TRUE(links.Report(kPeer, report));
  EXPECT_TRUE(report.answers);
  EXPECT_FALSE(report.protecting);
  EXPECT_EQ(report.history.size(), LinkStats::kHistory);
}

TEST_F(LinkMonitorTest, CopiesGoOnlyTowardAPeerThatAnsweredThatItDropsRepeats) {
  links.SetMode(LossProtection::kAlways);
  EXPECT_EQ(PlaySecond(0, 0), kFramesPerSecond);  // it answers, but keeps repeats
  // Answers forged from elsewhere, or to a question never asked, count for nothing.
  clock.Advance(1000);
  links.Tick();
  ASSERT_TRUE(question.has_value());
  Answer({0x7F000001, 4001}, {LinkProbeKind::kAnswer, capability::kDropsRepeats, question->number, 0});
  Answer(kPeer, {LinkProbeKind::kAnswer, capability::kDropsRepeats, question->number + 1, 0});
  EXPECT_EQ(CopiesFor(kPeer), 1);
  Answer(kPeer, {LinkProbeKind::kAnswer, capability::kDropsRepeats, question->number, 0});
  EXPECT_EQ(CopiesFor(kPeer), 2);
  EXPECT_TRUE(capabilities.Has(kPeer, capability::kDropsRepeats));
  links.SetMode(LossProtection::kOff);
  EXPECT_EQ(CopiesFor(kPeer), 1);
  EXPECT_EQ(CopiesFor(kSelf), 1);  // never to itself
}

// Toward a peer that decodes parities, the second datagram is the parity of
// the datagram and the one before it on the link; a plain copy where the
// peer only drops repeats, or the one before is missing, too old or too long.
TEST_F(LinkMonitorTest, TheSecondDatagramIsAParityWhereThePeerDecodesThem) {
  using enum LinkMonitor::Second;
  links.SetMode(LossProtection::kAlways);
  struct Step {
    size_t size;
    int32_t after_ms;
    LinkMonitor::Second second;
  };
  const Step steps[] = {
      {80, 0, kCopy}, {90, 10, kParity}, {60, 0, kParity}, {90, 101, kCopy}, {kMaxCodedSize + 1, 0, kCopy},
      {70, 0, kCopy}, {70, 100, kParity}};
  std::array<uint8_t, kMaxParitySize> parity{};
  size_t parity_size = 0;
  PlaySecond(0);
  const std::vector<uint8_t> plain(80, 'x');
  EXPECT_EQ(links.SecondFor(kPeer, plain, {}, parity, parity_size), kCopy);
  PlaySecond(0, capability::kDropsRepeats | capability::kDecodesParity);
  size_t before = 0;
  for (const Step& step : steps) {
    clock.Advance(step.after_ms);
    const std::vector<uint8_t> datagram(step.size, static_cast<uint8_t>(step.size));
    EXPECT_EQ(links.SecondFor(kPeer, std::span(datagram).first(5), std::span(datagram).subspan(5), parity, parity_size),
              step.second)
        << step.size;
    const std::optional<ParityView> view = ParseParity(std::span(parity).first(parity_size));
    EXPECT_EQ(view.has_value(), step.second == kParity);
    if (view) {
      EXPECT_EQ(std::pair(size_t{view->older.size}, size_t{view->newer.size}), std::pair(before, step.size));
    }
    before = step.size;
  }
}

}  // namespace
}  // namespace vorn
