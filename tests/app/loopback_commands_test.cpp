// The server commands of the menu against a second node on loopback, and
// the command line.
#include "app_options.h"
#include "app_harness.h"

namespace vorn {
namespace {

using LoopbackCommands = HostedApp;

TEST_F(LoopbackCommands, ConnectToDefaultThenDisconnect) {
  CMainFrame& frame = harness.frame();
  EXPECT_FALSE(frame.QueryCommand(CommandId::Disconnect).enabled);
  frame.PostCommand(CommandId::ConnectDefault);
  ASSERT_TRUE(ProcessUntil([&] { return Connected(); }));
  const QString connecting =
      QStringLiteral("Connecting to Host at %1\n").arg(QString::fromStdString(host.AddressText()));
  EXPECT_TRUE(MessageText().contains(connecting + QStringLiteral("Looking for server...Connected to server.\n")))
      << MessageText().toStdString();
  for (CommandId id : {CommandId::Disconnect, CommandId::ListGames, CommandId::ListNames, CommandId::Motd,
                       CommandId::WhoIs, CommandId::ChatWindow}) {
    EXPECT_TRUE(frame.QueryCommand(id).enabled) << static_cast<int>(id);
  }
  // Serving a sub-net of its own while connected needs the user's word.
  harness.prompts.answer_ok = false;
  EXPECT_TRUE(frame.Dispatch(CommandId::ServerMode));
  EXPECT_EQ(harness.prompts.asked, std::vector<std::string>{"Already Connected"});
  EXPECT_FALSE(harness.node().local_server().IsLocalServerMode());
  ASSERT_TRUE(Connected());

  EXPECT_TRUE(frame.Dispatch(CommandId::Disconnect));
  EXPECT_FALSE(Connected());
  EXPECT_TRUE(MessageText().endsWith(QStringLiteral("Saying bye...Disconnected from server.\n")));
  EXPECT_TRUE(host.window.WaitFor("Bye!"));
}

TEST_F(LoopbackCommands, ExitWhileConnectedAsksOnceAndNoKeepsRunning) {
  CMainFrame& frame = harness.frame();
  ASSERT_TRUE(frame.Dispatch(CommandId::ConnectDefault));
  ASSERT_TRUE(Connected());
  harness.dialogs.answer_yes = false;
  EXPECT_TRUE(frame.Dispatch(CommandId::Exit));
  EXPECT_TRUE(frame.isVisible());
  EXPECT_TRUE(Connected());
  EXPECT_EQ(harness.dialogs.Captions(), std::vector<std::string>{"Still Connected"});

  harness.dialogs.answer_yes = true;
  EXPECT_TRUE(frame.Dispatch(CommandId::Exit));
  EXPECT_FALSE(frame.isVisible());
  EXPECT_FALSE(Connected());
  EXPECT_TRUE(host.window.WaitFor("Bye!"));
  // The placements were saved on the way out.
  EXPECT_FALSE(harness.store.profile.GetString("Windows", "Vorn", "").empty());
  EXPECT_FALSE(harness.store.profile.GetString("Windows", "Server Messages", "").empty());
}

TEST_F(LoopbackCommands, LocalServerModeFromTheMenuServesAnotherNode) {
  CMainFrame& frame = harness.frame();
  ASSERT_TRUE(frame.Dispatch(CommandId::ServerMode));
  ASSERT_TRUE(harness.node().local_server().IsLocalServerMode());
  EXPECT_TRUE(Connected());  // to itself
  frame.UpdateCommandUi();
  EXPECT_TRUE(frame.action(CommandId::ServerMode)->isChecked());

  // The other node joins the sub-net this program serves.
  host.node->local_server().StopLocalServer();
  const std::string own = "127.0.0.1:" + std::to_string(harness.node().endpoint().BoundPort());
  EXPECT_TRUE(host.node->connection().ConnectToServer({"Gui", own}));
  // Lines from the receive thread come through the UI thread's queue.
  EXPECT_TRUE(ProcessUntil([&] { return MessageText().count(QStringLiteral("Hello!")) == 2; }))
      << MessageText().toStdString();

  // Leaving the mode for another server needs the user's word.
  harness.prompts.answer_ok = false;
  EXPECT_TRUE(frame.Dispatch(CommandId::ConnectDefault));
  EXPECT_TRUE(harness.node().local_server().IsLocalServerMode());
  EXPECT_EQ(harness.prompts.asked, std::vector<std::string>{"Running as Local Server"});
  EXPECT_TRUE(frame.Dispatch(CommandId::ServerMode));
  EXPECT_FALSE(harness.node().local_server().IsLocalServerMode());
  EXPECT_FALSE(Connected());
}

TEST(CommandLine, ServerFlagsAndTheirMistakes) {
  QString error;
  const auto parse = [&error](const QStringList& args) {
    return ParseCommandLine(QStringList{QStringLiteral("vorn95")} + args, error);
  };
  std::optional<CommandLine> line =
      parse({"--my-ip", "127.0.0.1", "127.0.0.5:2300", "--dosbox-port", "10213", "--config", "/tmp/p.ini"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->server, "127.0.0.5:2300");
  EXPECT_EQ(line->my_ip, "127.0.0.1");
  EXPECT_EQ(line->config, "/tmp/p.ini");
  EXPECT_EQ(line->dosbox_port, std::optional<uint16_t>(10213));

  EXPECT_FALSE(parse({"--dosbox-port", "70000"}));
  EXPECT_EQ(error, "--dosbox-port needs a port from 1 to 65535");
  for (const QStringList& wrong : {QStringList{"--my-ip"}, {"--frobnicate"}, {"127.0.0.5", "127.0.0.6"}}) {
    EXPECT_FALSE(parse(wrong)) << wrong.join(' ').toStdString();
  }
}

TEST(CommandLine, ServerNamedOnTheCommandLineIsConnectedAfterStartUp) {
  ServerNode host;
  ASSERT_TRUE(host.node->Start());
  ASSERT_TRUE(host.node->local_server().StartLocalServer());
  AppHarness harness(true, host.AddressText());
  ASSERT_TRUE(harness.StartAndSettle());
  EXPECT_TRUE(harness.node().connection().IsConnected());
  harness.dialogs.answer_yes = true;
  harness.frame().close();
}

}  // namespace
}  // namespace vorn
