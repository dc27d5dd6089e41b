// Chat and file transfer between four vornd nodes over lossy links that
// also duplicate and reorder: every line must be shown exactly once by
// every node, and every file must arrive byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/text.h"
#include "proving/chat_mesh.h"

namespace vorn::soak {
namespace {

using namespace std::chrono_literals;

constexpr int kShortFormSeconds = 20;
// A datagram between two nodes behind relays crosses two links: each drops
// 1 - sqrt(0.8) of what passes, so that such a datagram is lost one time in
// five; between a node and the host, one time in about ten.
const double kLinkDrop = 1.0 - std::sqrt(0.8);
constexpr double kLinkDuplicate = 0.05;
constexpr double kLinkReorder = 0.05;
// Retransmissions stop 30 s after a packet's first sending.
constexpr auto kSettleLimit = 45s;
constexpr auto kQuiet = 5s;

ImpairmentRates LossyLink() {
  return {.drop = kLinkDrop, .duplicate = kLinkDuplicate, .reorder = kLinkReorder, .delay_ms = 0, .jitter_ms = 5};
}

std::string LinkFigures(const RelayCounters& t) {
  const DirectionCounters& up = t[RelayDirection::ToTarget];
  const DirectionCounters& down = t[RelayDirection::ToClient];
  return Format(
      "links: from nodes %llu passed, %llu dropped, %llu duplicated, %llu reordered; "
      "to nodes %llu passed, %llu dropped, %llu duplicated, %llu reordered",
      static_cast<unsigned long long>(up.received), static_cast<unsigned long long>(up.dropped),
      static_cast<unsigned long long>(up.duplicated), static_cast<unsigned long long>(up.reordered),
      static_cast<unsigned long long>(down.received), static_cast<unsigned long long>(down.dropped),
      static_cast<unsigned long long>(down.duplicated), static_cast<unsigned long long>(down.reordered));
}

class ChatSoak : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error = mesh_.Start();
    ASSERT_TRUE(error.empty()) << error;
    std::printf("[soak] chat mesh: every node heard every other after %d round(s) of lines on clean links\n",
                mesh_.warm_up_rounds());
  }
  ChatMesh mesh_;
};

struct LineCounts {
  int missing = 0;
  int repeated = 0;
};

struct TypedLine {
  std::string text;
  size_t node;
};

// Each node types a line a second, the four a quarter of a second apart.
std::vector<TypedLine> TypeLines(ChatMesh& mesh, int seconds) {
  std::vector<TypedLine> lines;
  auto start = std::chrono::steady_clock::now();
  for (int n = 0; n < seconds * int(kChatNodes); ++n) {
    size_t who = size_t(n) % kChatNodes;
    std::this_thread::sleep_until(start + n * 250ms);  // typing pace
    lines.push_back({Format("line %04d from %s", n, mesh.Nick(who).c_str()), who});
    EXPECT_TRUE(mesh.node(who).TypeLine(lines.back().text));
  }
  return lines;
}

// How often each node showed the lines of the others, and its own.
std::pair<LineCounts, LineCounts> CountShown(ChatMesh& mesh, size_t node, const std::vector<TypedLine>& lines) {
  LineCounts others, own;
  for (const TypedLine& line : lines) {
    size_t shown = mesh.node(node).CountInOutput(" " + line.text + "\n");
    LineCounts& counts = line.node == node ? own : others;
    counts.missing += shown == 0;
    counts.repeated += shown > 1 ? int(shown) - 1 : 0;
  }
  return {others, own};
}

TEST_F(ChatSoak, EveryLineIsShownExactlyOnceByEveryNode) {
  const int seconds = SoakSeconds(kShortFormSeconds);
  mesh_.SetLinkRates(LossyLink());
  std::vector<TypedLine> lines = TypeLines(mesh_, seconds);
  for (size_t i = 0; i < kChatNodes; ++i) mesh_.node(i).WaitForOutput(lines.back().text + "\n", kSettleLimit);
  bool quiet = mesh_.WaitUntilLinksQuiet(kQuiet, kSettleLimit);

  std::printf("[soak] chat: %zu lines typed in %d s by 4 nodes; link drop %.3f, duplicate %.2f, reorder %.2f\n",
              lines.size(), seconds, kLinkDrop, kLinkDuplicate, kLinkReorder);
  std::array<std::pair<LineCounts, LineCounts>, kChatNodes> counts;
  for (size_t node = 0; node < kChatNodes; ++node) {
    counts[node] = CountShown(mesh_, node, lines);
    std::printf("[soak]   %s: others' lines missing %d, shown twice %d; own lines missing %d, shown twice %d\n",
                mesh_.Nick(node).c_str(), counts[node].first.missing, counts[node].first.repeated,
                counts[node].second.missing, counts[node].second.repeated);
  }
  std::printf("[soak]   %s\n", LinkFigures(mesh_.LinkTotals()).c_str());
  std::fflush(stdout);
  EXPECT_TRUE(quiet) << "retransmissions still running after the settle time";
  for (size_t node = 0; node < kChatNodes; ++node) {
    const auto& [others, own] = counts[node];
    EXPECT_EQ(others.missing, 0) << mesh_.Nick(node);
    EXPECT_EQ(others.repeated, 0) << mesh_.Nick(node) << ": a copy resent after an acknowledgement was lost came "
                                  << "later than the duplicate filter remembers the line";
    EXPECT_EQ(own.missing, 0) << mesh_.Nick(node) << ": the copy a node sends itself is sent once, unacknowledged, "
                              << "and through a proxy it crosses the lossy link";
    EXPECT_EQ(own.repeated, 0) << mesh_.Nick(node) << ": its own lines";
  }
}

// Files of every length that matters (empty, one fragment short of full, a
// full fragment, two full ones) and one large file.
constexpr std::array<size_t, 5> kFileSizes = {0, 499, 500, 1000, 1'000'000};
constexpr size_t kLargeFile = 4;
// The transfer sends one fragment at a time and resends a lost one only on
// the 2-second chat tick, so a large file at 10% loss takes many minutes:
// that part runs in the long form only.
constexpr int kLongFormSeconds = 600;
constexpr auto kSmallFileLimit = 120s;

std::vector<uint8_t> Contents(size_t size, size_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = static_cast<uint32_t>(seed * 2654435761u + 1);
  for (uint8_t& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return bytes;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class FileSoak : public ChatSoak {
 protected:
  void Offer() {
    for (size_t f = 0; f < kFileSizes.size(); ++f) {
      offered_[f] = mesh_.dir().File("offered" + std::to_string(f));
      ASSERT_TRUE(WriteFile(offered_[f], Contents(kFileSizes[f], f)));
      ASSERT_TRUE(mesh_.node(0).TypeLine("/offer " + offered_[f]));
    }
    ASSERT_TRUE(mesh_.node(0).WaitForOutput("[4] " + offered_[4], 10s)) << mesh_.AllOutputs();
  }
  // Starts a download of offered file f into node; Finish waits for it.
  std::string Get(size_t node, size_t f) {
    std::string local = mesh_.dir().File(Format("%s-got%zu", mesh_.Nick(node).c_str(), f));
    done_before_[node] = mesh_.node(node).CountInOutput(kComplete);
    EXPECT_TRUE(mesh_.node(node).TypeLine(Format("/get host %zu %s", f, local.c_str())));
    return local;
  }
  // The seconds it took, or a negative number when it did not finish.
  double Finish(size_t node, size_t f, const std::string& local, std::chrono::seconds limit,
                std::chrono::steady_clock::time_point started) {
    bool done = mesh_.node(node).WaitForOutput(kComplete, limit, done_before_[node] + 1);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_TRUE(done) << mesh_.Nick(node) << " file " << f << mesh_.AllOutputs();
    std::optional<std::vector<uint8_t>> got = ReadFile(local);
    EXPECT_TRUE(got.has_value() && *got == Contents(kFileSizes[f], f))
        << mesh_.Nick(node) << " file " << f << ": " << (got ? got->size() : 0) << " bytes";
    return done ? seconds : -1;
  }

  static constexpr std::string_view kComplete = "*** The transfer from host is complete";
  std::array<std::string, kFileSizes.size()> offered_;
  std::array<size_t, kChatNodes> done_before_{};
};

TEST_F(FileSoak, FilesArriveByteForByteThroughLossyLinks) {
  ASSERT_NO_FATAL_FAILURE(Offer());
  // The small files, three at once, over links that drop, duplicate and
  // reorder; then the large one over a clean link to see its best pace.
  mesh_.SetLinkRates(LossyLink());
  std::array<std::pair<size_t, size_t>, 4> plan = {{{1, 0}, {2, 1}, {3, 2}, {1, 3}}};
  std::array<std::string, 4> locals;
  for (size_t round : {0u, 3u}) {
    size_t end = round == 0 ? 3 : 4;
    auto started = std::chrono::steady_clock::now();
    for (size_t k = round; k < end; ++k) locals[k] = Get(plan[k].first, plan[k].second);
    for (size_t k = round; k < end; ++k)
      std::printf("[soak] file: %zu bytes to %s over lossy links in %.1f s\n", kFileSizes[plan[k].second],
                  mesh_.Nick(plan[k].first).c_str(),
                  Finish(plan[k].first, plan[k].second, locals[k], kSmallFileLimit, started));
  }
  mesh_.SetLinkRates(ImpairmentRates{});
  auto started = std::chrono::steady_clock::now();
  std::string local = Get(2, kLargeFile);
  std::printf("[soak] file: %zu bytes to node2 over a clean link in %.1f s\n", kFileSizes[kLargeFile],
              Finish(2, kLargeFile, local, 300s, started));
  std::printf("[soak]   %s\n", LinkFigures(mesh_.LinkTotals()).c_str());
  std::fflush(stdout);
}

class LargeFileSoak : public FileSoak {
 protected:
  void SetUp() override {
    if (SoakSeconds(kShortFormSeconds) < kLongFormSeconds)
      GTEST_SKIP() << "runs in the long form (VORN_SOAK_SECONDS >= 600)";
    FileSoak::SetUp();
  }
};

// Fragments and their acknowledgements both cross the downloader's link,
// which drops one datagram in ten each way.
TEST_F(LargeFileSoak, ALargeFileArrivesByteForByteAtTenPercentLossBothWays) {
  const int seconds = SoakSeconds(kShortFormSeconds);
  ASSERT_NO_FATAL_FAILURE(Offer());
  ImpairmentRates ten_percent{.drop = 0.10};
  mesh_.SetLinkRates(3, RelayDirection::ToTarget, ten_percent);
  mesh_.SetLinkRates(3, RelayDirection::ToClient, ten_percent);
  auto started = std::chrono::steady_clock::now();
  std::string local = Get(3, kLargeFile);
  double took = Finish(3, kLargeFile, local, std::chrono::seconds(3 * seconds), started);
  std::printf("[soak] file: %zu bytes to node3 at 10%% loss both ways in %.1f s\n[soak]   %s\n", kFileSizes[kLargeFile],
              took, LinkFigures(mesh_.LinkTotals()).c_str());
  std::fflush(stdout);
}

}  // namespace
}  // namespace vorn::soak
