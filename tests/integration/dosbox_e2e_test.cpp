// Real DOS programs play through Vorn: three vornd nodes on loopback (one
// serving, two connected to it), each with a DOSBox running ipxt.com behind
// its DOSBox driver. Every broadcast and every directed reply must reach each
// other DOSBox exactly once, addressed as it was sent (a broadcast to every
// node, a reply to the receiver's), and no DOSBox may see its own broadcasts
// twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "integration/child_process.h"
#include "integration/dosbox_support.h"
#include "platform/text.h"
#include "qtprofile/qt_profile.h"

namespace vorn {
namespace {

using namespace dosbox_e2e;
using namespace std::chrono_literals;

constexpr size_t kNodes = 3;
constexpr int kBroadcasts = 5;
// ipxt.com sends one broadcast about every half second after GO and ends
// this long after GO, which leaves room for late replies on a busy machine.
constexpr int kIpxtSeconds = 8;
constexpr int kEmulatorLimitS = 70;

using Deadline = std::chrono::steady_clock::time_point;

// The span, or what is left until end when that is shorter.
std::chrono::milliseconds In(std::chrono::milliseconds span, Deadline end) {
  return std::min(span, std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()));
}

struct VorndNode {
  uint16_t port = 0;
  uint16_t dosbox_port = 0;
  std::unique_ptr<ChildProcess> process;
};

class DosboxEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    auto found = FindDosboxSetup(why);
    if (!found) GTEST_SKIP() << why;
    setup_ = *found;
    ASSERT_FALSE(scratch_.path().empty());
  }

  // Node 0 serves; the others connect to it. Each has its own profile file
  // and HOME, and its DOSBox driver on a port of its own.
  // as_games: the DOSBox port comes from the profile's setting, not a flag.
  void StartNode(size_t index, bool as_games) {
    VorndNode& node = nodes_[index];
    node.port = FreeUdpPort();
    node.dosbox_port = FreeUdpPort();
    const std::string nick = "player" + std::to_string(index);
    const auto folder = scratch_.path() / nick;
    std::filesystem::create_directories(folder / "home");
    std::vector<std::string> argv = {VORND_PATH, "--config", (folder / "vorn95.conf").string(), "--my-ip", "127.0.0.1"};
    argv.insert(argv.end(), {"--port", std::to_string(node.port)});
    if (as_games)
      QtProfile(QString::fromStdString((folder / "vorn95.conf").string()))
          .WriteString("Misc", "DOSBox Port", std::to_string(node.dosbox_port));
    else
      argv.insert(argv.end(), {"--dosbox-port", std::to_string(node.dosbox_port)});
    argv.insert(argv.end(), {"--nick", nick, "--real-name", nick + " Player", "--email", nick + "@example.org"});
    argv.push_back(index == 0 ? "--server" : "127.0.0.1:" + std::to_string(nodes_[0].port));
    node.process = std::make_unique<ChildProcess>(argv, ChildOptions{{"HOME=" + (folder / "home").string()}, folder});
    ASSERT_TRUE(node.process->started());
    ASSERT_TRUE(node.process->WaitForOutput("Connected to server.", In(15s, end_))) << node.process->output();
  }

  void StartDosboxes(bool as_games) {
    for (size_t i = 0; i < kNodes; ++i) {
      dosboxes_[i] = std::make_unique<DosboxInstance>(setup_, scratch_.path() / ("dosbox" + std::to_string(i)));
      DosboxInstance& dosbox = *dosboxes_[i];
      ASSERT_TRUE(as_games ? dosbox.StartAsGame(nodes_[i].dosbox_port, kIpxtSeconds, kBroadcasts, kEmulatorLimitS)
                           : dosbox.Start(nodes_[i].dosbox_port, kIpxtSeconds, kBroadcasts, kEmulatorLimitS));
    }
  }

  void RunAll(bool as_games) {
    for (size_t i = 0; i < kNodes; ++i) ASSERT_NO_FATAL_FAILURE(StartNode(i, as_games));
    ASSERT_NO_FATAL_FAILURE(StartDosboxes(as_games));
    ASSERT_NO_FATAL_FAILURE(WaitUntilAllReadyThenGo());
    for (size_t i = 0; i < kNodes; ++i) {
      std::optional<int> code = dosboxes_[i]->process().WaitForExit(In(std::chrono::seconds(kIpxtSeconds + 20), end_));
      ASSERT_TRUE(code.has_value()) << "DOSBox " << i << " did not finish:\n" << dosboxes_[i]->Log();
      EXPECT_EQ(*code, 0) << dosboxes_[i]->Log();
    }
    for (size_t i = 0; i < kNodes; ++i) CheckOutput(i);
    for (size_t i = kNodes; i-- > 0;) EXPECT_EQ(nodes_[i].process->Stop(SIGINT, 10s), 0) << nodes_[i].process->output();
  }

  // Every ipxt.com is connected and listening before any of them sends.
  void WaitUntilAllReadyThenGo() {
    const Deadline ready_by = std::chrono::steady_clock::now() + In(30s, end_);
    for (size_t i = 0; i < kNodes; ++i) {
      while (!dosboxes_[i]->IsReady() && dosboxes_[i]->process().Running() &&
             std::chrono::steady_clock::now() < ready_by)
        std::this_thread::sleep_for(20ms);
      ASSERT_TRUE(dosboxes_[i]->IsReady()) << "DOSBox " << i << " never got ready:\n"
                                           << dosboxes_[i]->Log() << dosboxes_[i]->Output();
    }
    for (auto& dosbox : dosboxes_) ASSERT_TRUE(dosbox->Go());
  }

  // Per sender node, the packets one DOSBox received: "B01".."B05" from
  // everyone, "R01".."R05" from the others only.
  std::map<std::string, std::multiset<std::string>> Expected(size_t receiver) const {
    std::map<std::string, std::multiset<std::string>> expected;
    for (size_t sender = 0; sender < kNodes; ++sender) {
      auto& packets = expected[NodeText({0x7F000001, nodes_[sender].port})];
      for (int n = 1; n <= kBroadcasts; ++n) {
        packets.insert(Format("B%02d", n));
        if (sender != receiver) packets.insert(Format("R%02d", n));
      }
    }
    return expected;
  }

  void CheckOutput(size_t index) {
    const std::string output = dosboxes_[index]->Output();
    const IpxtReport report = ParseIpxtOutput(output);
    const std::string own_node = NodeText({0x7F000001, nodes_[index].port});
    // The node DOSBox took at registration is its vornd's own address and port.
    EXPECT_EQ(report.own_node, own_node) << output;
    ASSERT_TRUE(report.summary.has_value()) << "DOSBox " << index << ":\n" << output << dosboxes_[index]->Log();
    EXPECT_EQ(*report.summary, (IpxtSummary{kBroadcasts, 2 * kBroadcasts, 2 * kBroadcasts, kBroadcasts, 0, 0}))
        << "DOSBox " << index << ":\n"
        << output;
    std::map<std::string, std::multiset<std::string>> received;
    for (const IpxtPacket& packet : report.received) {
      received[packet.source_node].insert(packet.data);
      EXPECT_EQ(packet.self, packet.source_node == own_node) << output;
      EXPECT_EQ(packet.destination_node, packet.data.starts_with('B') ? "FF:FF:FF:FF:FF:FF" : own_node) << output;
    }
    EXPECT_EQ(received, Expected(index)) << "DOSBox " << index << ":\n" << output;
  }

  DosboxSetup setup_;
  const Deadline end_ = std::chrono::steady_clock::now() + 85s;
  // Declared before the processes, so it is removed only after they ended.
  TempDir scratch_;
  std::array<VorndNode, kNodes> nodes_;
  std::array<std::unique_ptr<DosboxInstance>, kNodes> dosboxes_;
};

TEST_F(DosboxEndToEnd, ThreeDosboxesExchangeBroadcastsAndRepliesThroughThreeNodes) { RunAll(false); }

// The same game started as the launcher starts a DOSBox game, with the
// nodes' DOSBox ports set in their profiles.
TEST_F(DosboxEndToEnd, OneClickGamesPlayThroughTheGeneratedConfiguration) { RunAll(true); }

}  // namespace
}  // namespace vorn
