// The server commands of the menu against a second node on loopback.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTextEdit>

#include "app_harness.h"
#include "main_frame.h"
#include "vorn95_view.h"

namespace vorn {
namespace {

QString MessageText(AppHarness& harness) {
  CVorn95View* view = harness.app->views().messageView();
  return view == nullptr ? QString() : view->outputPane()->toPlainText();
}

class LoopbackCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.node->Start());
    ASSERT_TRUE(host.node->local_server().StartLocalServer());
    // The default server is found by its name, ignoring case.
    harness.store.profile.WriteString("Servers", "Host", host.AddressText());
    harness.store.profile.WriteString("Servers", "Default Server", "HOST");
    ASSERT_TRUE(harness.StartAndSettle());
  }
  bool Connected() { return harness.node().connection().IsConnected(); }

  ServerNode host;
  AppHarness harness;
};

TEST_F(LoopbackCommands, ConnectToDefaultThenDisconnect) {
  CMainFrame& frame = harness.frame();
  EXPECT_FALSE(frame.QueryCommand(CommandId::Disconnect).enabled);
  frame.PostCommand(CommandId::ConnectDefault);
  ASSERT_TRUE(ProcessUntil([&] { return Connected(); }));
  const QString connecting =
      QStringLiteral("Connecting to Host at %1\n").arg(QString::fromStdString(host.AddressText()));
  EXPECT_TRUE(MessageText(harness).contains(connecting + QStringLiteral("Looking for server...Connected to server.\n")))
      << MessageText(harness).toStdString();
  for (CommandId id : {CommandId::Disconnect, CommandId::ListGames, CommandId::ListNames, CommandId::Motd,
                       CommandId::WhoIs, CommandId::ChatWindow}) {
    EXPECT_TRUE(frame.QueryCommand(id).enabled) << static_cast<int>(id);
  }
  EXPECT_TRUE(frame.Dispatch(CommandId::Disconnect));
  EXPECT_FALSE(Connected());
  EXPECT_TRUE(MessageText(harness).endsWith(QStringLiteral("Saying bye...Disconnected from server.\n")));
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
  EXPECT_EQ(MessageText(harness).count(QStringLiteral("Hello!")), 2);

  // Leaving the mode for another server needs the user's word.
  harness.prompts.answer_ok = false;
  EXPECT_TRUE(frame.Dispatch(CommandId::ConnectDefault));
  EXPECT_TRUE(harness.node().local_server().IsLocalServerMode());
  EXPECT_EQ(harness.prompts.asked, std::vector<std::string>{"Running as Local Server"});
  EXPECT_TRUE(frame.Dispatch(CommandId::ServerMode));
  EXPECT_FALSE(harness.node().local_server().IsLocalServerMode());
  EXPECT_FALSE(Connected());
}

TEST_F(LoopbackCommands, StartingServerModeWhileConnectedNeedsTheUsersWord) {
  CMainFrame& frame = harness.frame();
  ASSERT_TRUE(frame.Dispatch(CommandId::ConnectDefault));
  harness.prompts.answer_ok = false;
  EXPECT_TRUE(frame.Dispatch(CommandId::ServerMode));
  EXPECT_EQ(harness.prompts.asked, std::vector<std::string>{"Already Connected"});
  EXPECT_FALSE(harness.node().local_server().IsLocalServerMode());
  EXPECT_TRUE(Connected());
}

TEST_F(LoopbackCommands, ChatWindowShowsTheLinesTypedIntoIt) {
  CMainFrame& frame = harness.frame();
  ASSERT_TRUE(frame.Dispatch(CommandId::ConnectDefault));
  ASSERT_TRUE(frame.Dispatch(CommandId::ChatWindow));
  CVorn95View* chat = harness.app->views().FindChatView("#chat");
  ASSERT_NE(chat, nullptr);
  EXPECT_EQ(chat->parentWidget()->windowTitle(), "Chat Window: #chat");
  EXPECT_TRUE(harness.node().chat().IsChatModeOn());
  frame.UpdateCommandUi();
  EXPECT_TRUE(frame.action(CommandId::ChatList)->isEnabled());

  // The line is shown when this program's own copy comes back.
  chat->inputLine()->setText(QStringLiteral("hello over loopback"));
  emit chat->inputLine()->returnPressed();
  EXPECT_TRUE(ProcessUntil([&] {
    return chat->outputPane()->toPlainText().contains(QStringLiteral("hello over loopback"));
  })) << chat->outputPane()->toPlainText().toStdString();

  // Closing the only chat window leaves chat mode.
  chat->parentWidget()->close();
  EXPECT_TRUE(ProcessUntil([&] { return !harness.node().chat().IsChatModeOn(); }));
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
