// vornd as a user runs it: a process with flags and a profile file.
#include <gtest/gtest.h>

#include <poll.h>

#include <QTemporaryDir>
#include <array>

#include "integration/child_process.h"
#include "platform/udp_socket.h"

namespace vorn {
namespace {

class VorndProcess : public ::testing::Test {
 protected:
  std::vector<std::string> Command(std::vector<std::string> extra) const {
    std::vector<std::string> argv = {VORND_PATH, "--config", dir_.filePath("vorn95.conf").toStdString(),
                                     "--my-ip", "127.0.0.1"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
  }
  QTemporaryDir dir_;
};

TEST_F(VorndProcess, RefusesToRunWithoutAnIdentityAndNamesTheFlag) {
  ChildProcess vornd(Command({"--nick", "alice"}));
  ASSERT_TRUE(vornd.started());
  EXPECT_EQ(vornd.WaitForExit(), 2);
  EXPECT_NE(vornd.output().find("--real-name is missing"), std::string::npos) << vornd.output();
}

TEST_F(VorndProcess, RunsOnItsPortAndStopsCleanlyOnEachSignal) {
  for (int signal : {SIGINT, SIGTERM}) {
    std::string port = std::to_string(FreeUdpPort());
    ChildProcess vornd(Command({"--port", port, "--nick", "alice", "--real-name", "Alice", "--email", "a@example.org"}));
    ASSERT_TRUE(vornd.WaitForOutput("running as 127.0.0.1:" + port)) << vornd.output();
    EXPECT_EQ(vornd.Stop(signal), 0) << vornd.output();
  }
}

// A stop waits for a silent server's acknowledgement of the bye; a second
// signal ends it at once.
TEST_F(VorndProcess, ASecondSignalEndsASlowStopAtOnce) {
  UdpSocket server;
  ASSERT_TRUE(server.Open() && server.Bind(0x7F000001, 0));
  ChildProcess vornd(Command({"--port", std::to_string(FreeUdpPort()), "--nick", "alice", "--real-name", "Alice",
                              "--email", "a@example.org", "127.0.0.1:" + std::to_string(server.LocalPort())}));
  pollfd waiting{server.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&waiting, 1, 10'000), 1) << vornd.output();
  std::array<uint8_t, 512> hello{};
  PeerAddress from;
  bool truncated = false;
  ASSERT_GT(server.RecvFrom(hello, from, truncated), 0);
  const std::array<uint8_t, 5> accepted = {'V', 'O', 'R', 'N', '2'};
  server.SendTo(from, accepted);
  ASSERT_TRUE(vornd.WaitForOutput("Connected to server.")) << vornd.output();
  ::kill(vornd.pid(), SIGINT);
  ASSERT_TRUE(vornd.WaitForOutput("Saying bye")) << vornd.output();
  vornd.Stop(SIGTERM, std::chrono::seconds(3));
  EXPECT_TRUE(vornd.ended()) << vornd.output();
}

TEST_F(VorndProcess, HelpNamesEveryFlag) {
  ChildProcess vornd({VORND_PATH, "--help"});
  EXPECT_EQ(vornd.WaitForExit(), 0);
  for (const char* flag : {"--config", "--port", "--my-ip", "--nick", "--real-name", "--email", "--tracker", "--proxy"})
    EXPECT_NE(vornd.output().find(flag), std::string::npos) << flag;
}

TEST_F(VorndProcess, ABusyPortFailsWithItsMessage) {
  UdpSocket holder;
  ASSERT_TRUE(holder.Open() && holder.Bind(0, 0));
  std::string port = std::to_string(holder.LocalPort());
  ChildProcess vornd(Command({"--port", port, "--nick", "a", "--real-name", "A", "--email", "a@example.org"}));
  EXPECT_EQ(vornd.WaitForExit(), 2);
  EXPECT_NE(vornd.output().find("Error: Cannot bind local address!"), std::string::npos) << vornd.output();
}

}  // namespace
}  // namespace vorn
