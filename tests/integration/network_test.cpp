// Whole programs on loopback: a host, players behind the DOSBox driver, a
// proxy. Each test starts its processes on free ports and stops them by PID.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <set>

#include "integration/child_process.h"
#include "net/messages.h"
#include "support/fake_client.h"
#include "support/fake_dosbox.h"

namespace vorn {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;
using Bytes = std::vector<uint8_t>;

class Programs : public ::testing::Test {
 protected:
  std::unique_ptr<ChildProcess> StartVornd(const std::string& nick, uint16_t port, std::vector<std::string> extra) {
    return std::make_unique<ChildProcess>(VorndCommand(dir_, nick, port, extra));
  }
  TempDir dir_;
};

// Every data text that arrives at a DOSBox within the time.
std::multiset<std::string> Collect(FakeDosbox& dosbox, int quiet_ms) {
  std::multiset<std::string> texts;
  for (std::span<const uint8_t> data = dosbox.Receive(quiet_ms); !data.empty(); data = dosbox.Receive(quiet_ms))
    texts.emplace(data.begin(), data.end());
  return texts;
}

TEST_F(Programs, FourPlayersOnAHostEachReceiveEveryOtherPlayersBroadcastOnce) {
  uint16_t host_port = FreeUdpPort();
  std::array<uint16_t, 4> dosbox_ports{};
  std::vector<std::unique_ptr<ChildProcess>> nodes;
  for (size_t i = 0; i < 4; ++i) {
    dosbox_ports[i] = FreeUdpPort();
    std::vector<std::string> extra = {"--dosbox-port", std::to_string(dosbox_ports[i])};
    if (i == 0)
      extra.push_back("--server");
    else
      extra.push_back("127.0.0.1:" + std::to_string(host_port));
    nodes.push_back(StartVornd("player" + std::to_string(i), i == 0 ? host_port : FreeUdpPort(), extra));
    ASSERT_TRUE(nodes.back()->WaitForOutput("Connected to server.")) << nodes.back()->output();
  }
  std::array<FakeDosbox, 4> dosboxes;
  for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(dosboxes[i].Register(dosbox_ports[i])) << i;
  for (size_t i = 0; i < 4; ++i) dosboxes[i].Broadcast(Bytes{'B', static_cast<uint8_t>('0' + i)});
  for (size_t i = 0; i < 4; ++i) {
    std::multiset<std::string> expected;
    for (size_t j = 0; j < 4; ++j)
      if (j != i) expected.insert("B" + std::to_string(j));
    EXPECT_EQ(Collect(dosboxes[i], 1500), expected) << "player " << i;
  }
  for (auto& node : nodes) EXPECT_EQ(node->Stop(), 0) << node->output();
}

TEST_F(Programs, APlayerBehindTheProxyConnectsAndAnswersTheHostsPings) {
  uint16_t host_port = FreeUdpPort(), proxy_port = FreeUdpPort();
  ChildProcess proxy({VORN_PROXY_PATH, "--port", std::to_string(proxy_port)});
  auto host = StartVornd("host", host_port, {"--server"});
  ASSERT_TRUE(host->WaitForOutput("Connected to server.")) << host->output();
  auto player =
      StartVornd("alice", FreeUdpPort(),
                 {"--proxy", "127.0.0.1:" + std::to_string(proxy_port), "127.0.0.1:" + std::to_string(host_port)});
  ASSERT_TRUE(player->WaitForOutput("Connected to proxy")) << player->output();
  ASSERT_TRUE(player->WaitForOutput("Connected to server.")) << player->output();

  // The host pings each player every ten seconds; a reply fills in the
  // player's game in the host's player list.
  FakeClient asker;
  bool answered = false;
  for (int attempt = 0; attempt < 50 && !answered; ++attempt) {
    asker.SendFrameOnly({kLoopback, host_port}, kTypePlayerListRequest);
    if (auto reply = asker.ReceiveFrom(500)) {
      std::string text(reply->bytes.begin() + 5, reply->bytes.end());
      size_t row = text.find("alice");
      answered = row != std::string::npos && text.find("Vorn95", row) != std::string::npos;
    }
    if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  EXPECT_TRUE(answered) << host->output();
  EXPECT_EQ(player->Stop(), 0) << player->output();
  EXPECT_EQ(host->Stop(), 0) << host->output();
  EXPECT_TRUE(proxy.Stop().has_value()) << proxy.output();
}

}  // namespace
}  // namespace vorn
