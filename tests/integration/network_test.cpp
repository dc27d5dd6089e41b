// Whole programs on loopback: a host, players behind the DOSBox driver, a
// proxy. Each test starts its processes on free ports and stops them by PID.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <array>
#include <memory>
#include <set>

#include "integration/child_process.h"
#include "ipx/dosbox_test_support.h"
#include "net/messages.h"
#include "support/fake_client.h"

namespace vorn {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;
using Bytes = std::vector<uint8_t>;

class Programs : public ::testing::Test {
 protected:
  // vornd with its own profile file and port.
  std::unique_ptr<ChildProcess> StartVornd(const std::string& nick, uint16_t port, std::vector<std::string> extra) {
    std::vector<std::string> argv = {VORND_PATH, "--config", dir_.filePath(QString::fromStdString(nick + ".conf")).toStdString(),
                                     "--my-ip", "127.0.0.1", "--port", std::to_string(port), "--nick", nick,
                                     "--real-name", nick + " Player", "--email", nick + "@example.org"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return std::make_unique<ChildProcess>(argv);
  }
  QTemporaryDir dir_;
};

// A stand-in for one DOSBox on the IPX tunnel, which collects what arrives.
struct FakeDosbox {
  bool Register(uint16_t driver_port) {
    driver = {kLoopback, driver_port};
    socket.Send(driver, dosbox_test::kRegistrationRequest);
    return socket.ReceiveFrom().has_value();
  }
  void Broadcast(std::string_view text) {
    socket.Send(driver, dosbox_test::GamePacket(dosbox_test::kBroadcastNode, Bytes(text.begin(), text.end())));
  }
  // Every data text that arrives within the time.
  std::multiset<std::string> Collect(int quiet_ms) {
    std::multiset<std::string> texts;
    while (auto packet = socket.ReceiveFrom(quiet_ms))
      if (packet->bytes.size() > 30) texts.emplace(packet->bytes.begin() + 30, packet->bytes.end());
    return texts;
  }
  FakeClient socket;
  PeerAddress driver;
};

TEST_F(Programs, FourPlayersOnAHostEachReceiveEveryOtherPlayersBroadcastOnce) {
  uint16_t host_port = FreeUdpPort();
  std::array<uint16_t, 4> dosbox_ports{};
  std::vector<std::unique_ptr<ChildProcess>> nodes;
  for (size_t i = 0; i < 4; ++i) {
    dosbox_ports[i] = FreeUdpPort();
    std::vector<std::string> extra = {"--dosbox-port", std::to_string(dosbox_ports[i])};
    if (i == 0) extra.push_back("--server");
    else extra.push_back("127.0.0.1:" + std::to_string(host_port));
    nodes.push_back(StartVornd("player" + std::to_string(i), i == 0 ? host_port : FreeUdpPort(), extra));
    ASSERT_TRUE(nodes.back()->WaitForOutput("Connected to server.")) << nodes.back()->output();
  }
  std::array<FakeDosbox, 4> dosboxes;
  for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(dosboxes[i].Register(dosbox_ports[i])) << i;
  for (size_t i = 0; i < 4; ++i) dosboxes[i].Broadcast("B" + std::to_string(i));
  for (size_t i = 0; i < 4; ++i) {
    std::multiset<std::string> expected;
    for (size_t j = 0; j < 4; ++j)
      if (j != i) expected.insert("B" + std::to_string(j));
    EXPECT_EQ(dosboxes[i].Collect(1500), expected) << "player " << i;
  }
  for (auto& node : nodes) EXPECT_EQ(node->Stop(), 0) << node->output();
}

TEST_F(Programs, APlayerBehindTheProxyConnectsAndAnswersTheHostsPings) {
  uint16_t host_port = FreeUdpPort(), proxy_port = FreeUdpPort();
  ChildProcess proxy({VORN_PROXY_PATH, "--port", std::to_string(proxy_port)});
  auto host = StartVornd("host", host_port, {"--server"});
  ASSERT_TRUE(host->WaitForOutput("Connected to server.")) << host->output();
  auto player = StartVornd("alice", FreeUdpPort(), {"--proxy", "127.0.0.1:" + std::to_string(proxy_port),
                                                    "127.0.0.1:" + std::to_string(host_port)});
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
