// vornd as a user runs it: a process with flags and a profile file.
#include <gtest/gtest.h>

#include <QTemporaryDir>

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
  EXPECT_EQ(vornd.WaitForExit(), 1);
  EXPECT_NE(vornd.output().find("Error: Cannot bind local address!"), std::string::npos) << vornd.output();
}

}  // namespace
}  // namespace vorn
