// vornd as a user runs it: a process with flags and a profile file, alone
// and with a host and a proxy on loopback.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>
#include <thread>

#include "integration/child_process.h"
#include "ipx/dosbox_test_support.h"
#include "ipx/ipx_capture.h"
#include "support/fake_client.h"

namespace vorn {
namespace {

class VorndProcess : public ::testing::Test {
 protected:
  TempDir dir_;
};

// A missing identity and a busy port: the exit code and what it says.
TEST_F(VorndProcess, ExitsWithItsCodeAndMessage) {
  FakeClient holder;
  const struct {
    std::vector<std::string> argv;
    int code;
    std::vector<std::string> said;
  } cases[] = {
      {{VORND_PATH, "--config", dir_.File("a.conf"), "--my-ip", "127.0.0.1", "--nick", "alice"},
       2,
       {"--real-name is missing"}},
      {VorndCommand(dir_, "alice", holder.address().port, {}), 2, {"Error: Cannot bind local address!"}},
  };
  for (const auto& c : cases) {
    ChildProcess vornd(c.argv);
    EXPECT_EQ(vornd.WaitForExit(), c.code) << c.argv[1];
    for (const std::string& text : c.said) EXPECT_NE(vornd.output().find(text), std::string::npos) << vornd.output();
  }
}

// A stop waits for a silent server's acknowledgement of the bye; a second
// signal ends it at once.
TEST_F(VorndProcess, ASecondSignalEndsASlowStopAtOnce) {
  FakeClient server;
  ChildProcess vornd(VorndCommand(dir_, "alice", FreeUdpPort(), {FormatPeer(server.address())}));
  const std::optional<Datagram> hello = server.ReceiveFrom(10'000);
  ASSERT_TRUE(hello) << vornd.output();
  server.Send(hello->from, "VORN2");  // accepted
  ASSERT_TRUE(vornd.WaitForOutput("Connected to server.")) << vornd.output();
  ::kill(vornd.pid(), SIGINT);
  ASSERT_TRUE(vornd.WaitForOutput("Saying bye")) << vornd.output();
  // (Stop would end it by SIGKILL after its limit: the note proves the signal did.)
  vornd.Signal(SIGTERM);
  EXPECT_TRUE(vornd.WaitForOutput("vornd: second signal, stopping at once", std::chrono::seconds(3))) << vornd.output();
}

// A host you can watch: a line per join and leave, the table on SIGUSR1,
// the stats file, and the capture of what its DOSBox game sent. Both stop
// cleanly, one on SIGINT, the other on SIGTERM.
TEST_F(VorndProcess, AHostTellsWhoComesAndGoesAndWritesItsStatsAndCapture) {
  const uint16_t host_port = FreeUdpPort(), dosbox_port = FreeUdpPort();
  const std::string port = std::to_string(host_port), stats = dir_.File("stats.json"),
                    capture = dir_.File("games.pcap");
  ChildProcess host(VorndCommand(
      dir_, "host", host_port,
      {"--server", "--dosbox-port", std::to_string(dosbox_port), "--stats-file", stats, "--pcap", capture}));
  ASSERT_TRUE(host.WaitForOutput("vornd: player joined: host at 127.0.0.1:" + port)) << host.output();
  const uint16_t bob_number = FreeUdpPort();
  const std::string bob_port = std::to_string(bob_number);
  ChildProcess bob(VorndCommand(dir_, "bob", bob_number, {"127.0.0.1:" + port}));
  ASSERT_TRUE(bob.WaitForOutput("running as 127.0.0.1:" + bob_port)) << bob.output();
  ASSERT_TRUE(host.WaitForOutput("vornd: player joined: bob at 127.0.0.1:" + bob_port)) << host.output();

  // The host's game broadcasts once through its DOSBox driver, once the
  // host's own player is connected to its server.
  ASSERT_TRUE(host.WaitForOutput("Connected to server.")) << host.output();
  dosbox_test::FakeDosbox game;
  const PeerAddress driver{dosbox_test::kLoopback, dosbox_port};
  ASSERT_EQ(game.Connect(driver).size(), 30u);
  const dosbox_test::Bytes packet = dosbox_test::GamePacket(dosbox_test::kBroadcastNode, {'h', 'i'});
  game.Send(driver, packet);

  ::kill(host.pid(), SIGUSR1);
  ASSERT_TRUE(host.WaitForOutput("  bob ")) << host.output();
  QJsonObject document;
  for (int tries = 0; tries < 150 && document["frames_relayed"].toInt() < 1; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QFile file(QString::fromStdString(stats));
    if (file.open(QIODevice::ReadOnly)) document = QJsonDocument::fromJson(file.readAll()).object();
  }
  const QJsonArray players = document["players"].toArray();
  ASSERT_EQ(players.size(), 2) << host.output();
  EXPECT_EQ(players[0].toObject()["nickname"].toString(), "host");
  EXPECT_EQ(players[0].toObject()["frames_relayed"].toInt(), 1);
  EXPECT_EQ(players[1].toObject()["address"].toString().toStdString(), "127.0.0.1:" + bob_port);

  EXPECT_EQ(bob.Stop(SIGTERM), 0) << bob.output();  // the host stops on SIGINT
  EXPECT_TRUE(host.WaitForOutput("vornd: player left: bob at 127.0.0.1:" + bob_port + " (bye)")) << host.output();
  EXPECT_EQ(host.Stop(SIGINT), 0);
  // One record, read back as a packet analyser reads it: a pcap file of
  // Ethernet frames (link type 1), the frame's type IPX, its addresses the
  // IPX nodes, and the game's broadcast unchanged inside.
  QFile file(QString::fromStdString(capture));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  const QByteArray ipx(reinterpret_cast<const char*>(packet.data()), static_cast<qsizetype>(packet.size()));
  ASSERT_EQ(static_cast<size_t>(bytes.size()), kPcapFileHeaderSize + kPcapRecordHeaderSize + 14 + packet.size());
  EXPECT_EQ(bytes.left(4), QByteArray("\xD4\xC3\xB2\xA1", 4));
  EXPECT_EQ(bytes.at(20), 1);
  const QByteArray frame = bytes.mid(kPcapFileHeaderSize + kPcapRecordHeaderSize);
  EXPECT_EQ(frame.left(6), ipx.mid(10, 6));
  EXPECT_EQ(frame.mid(6, 6), ipx.mid(22, 6));
  EXPECT_EQ(frame.mid(12, 2), QByteArray("\x81\x37", 2));
  EXPECT_EQ(frame.mid(14), ipx);
}

TEST_F(VorndProcess, APlayerBehindTheProxyConnectsAndAnswersTheHostsPings) {
  uint16_t host_port = FreeUdpPort(), proxy_port = FreeUdpPort();
  ChildProcess proxy({VORN_PROXY_PATH, "--port", std::to_string(proxy_port)});
  ChildProcess host(VorndCommand(dir_, "host", host_port, {"--server"}));
  ASSERT_TRUE(host.WaitForOutput("Connected to server.")) << host.output();
  ChildProcess player(
      VorndCommand(dir_, "alice", FreeUdpPort(),
                   {"--proxy", "127.0.0.1:" + std::to_string(proxy_port), "127.0.0.1:" + std::to_string(host_port)}));
  ASSERT_TRUE(player.WaitForOutput("Connected to proxy")) << player.output();
  ASSERT_TRUE(player.WaitForOutput("Connected to server.")) << player.output();

  // The host pings each player every ten seconds; a reply fills in the
  // player's game in the host's player list.
  FakeClient asker;
  bool answered = false;
  for (int attempt = 0; attempt < 50 && !answered; ++attempt) {
    asker.SendFrameOnly({0x7F000001, host_port}, kTypePlayerListRequest);
    if (auto reply = asker.ReceiveFrom(500)) {
      std::string text(reply->bytes.begin() + 5, reply->bytes.end());
      size_t row = text.find("alice");
      answered = row != std::string::npos && text.find("Vorn95", row) != std::string::npos;
    }
    if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  EXPECT_TRUE(answered) << host.output();
  EXPECT_EQ(player.Stop(), 0) << player.output();
  EXPECT_EQ(host.Stop(), 0) << host.output();
  EXPECT_TRUE(proxy.Stop().has_value()) << proxy.output();
}

}  // namespace
}  // namespace vorn
