// The server commands of the menu against a second node on loopback, and
// the command line.
#include <QFileInfo>
#include <QGraphicsEffect>
#include <QMdiArea>

#include "app_harness.h"
#include "app_options.h"
#include "artwork.h"

namespace vorn {
namespace {

using LoopbackCommands = HostedApp;

// Connect and Disconnect from the menu, with a chat window open: it
// outlives the connection, greyed and marked, and comes back with the next
// one, where a typed line joins its channel again; then Exit.
TEST_F(LoopbackCommands, ConnectDisconnectAndChatWindowsWaitGreyed) {
  CMainFrame& frame = harness.frame();
  EXPECT_FALSE(frame.QueryCommand(CommandId::Disconnect).enabled);
  frame.PostCommand(CommandId::ConnectDefault);
  ASSERT_TRUE(ProcessUntil([&] { return Connected(); }));
  const QString connecting =
      QStringLiteral("Connecting to Host at %1\n").arg(QString::fromStdString(host.AddressText()));
  EXPECT_TRUE(MessageText().contains(connecting + QStringLiteral("Looking for server...Connected to server.\n")))
      << MessageText().toStdString();
  // Serving a sub-net of its own while connected needs the user's word.
  harness.prompts.answer_ok = false;
  EXPECT_TRUE(frame.Dispatch(CommandId::ServerMode));
  EXPECT_EQ(harness.prompts.asked, std::vector<std::string>{"Already Connected"});
  EXPECT_FALSE(harness.node().local_server().IsLocalServerMode());

  CVorn95View* chat = OpenChatWindow();
  ASSERT_NE(chat, nullptr);
  const auto looks_offline = [&](bool offline) {
    frame.UpdateCommandUi();
    EXPECT_EQ(chat->parentWidget()->windowTitle(),
              offline ? QStringLiteral("Chat Window: #chat (offline)") : QStringLiteral("Chat Window: #chat"));
    EXPECT_EQ(chat->inputLine()->isEnabled(), !offline);
    EXPECT_EQ(chat->outputPane()->graphicsEffect() != nullptr, offline);
  };
  ASSERT_TRUE(frame.Dispatch(CommandId::Disconnect));
  EXPECT_TRUE(MessageText().endsWith(QStringLiteral("Saying bye...Disconnected from server.\n")));
  looks_offline(true);
  EXPECT_TRUE(chat->outputPane()->toPlainText().contains(QStringLiteral("this window is offline")));
  // Not a check: the window's picture for the docs, as the other screenshots.
  if (const QString folder = qEnvironmentVariable("VORN_SCREENSHOTS"); !folder.isEmpty()) {
    chat->parentWidget()->setWindowIcon(AppIcon());
    EXPECT_TRUE(chat->parentWidget()->grab().save(folder + QStringLiteral("/screenshot-chat-offline.png")));
  }
  ASSERT_TRUE(frame.Dispatch(CommandId::ConnectDefault));
  looks_offline(false);
  Say(*chat, QStringLiteral("back again"));
  EXPECT_TRUE(ProcessUntil([&] { return chat->outputPane()->toPlainText().contains(QStringLiteral("back again")); }));
  EXPECT_TRUE(harness.node().chat().IsChatModeOn());

  // Exit while connected asks once; yes says bye, saves the placements and
  // closes the DOSBox driver link.
  harness.dialogs.shown.clear();
  ASSERT_TRUE(harness.node().driver_link().IsOpen());
  EXPECT_TRUE(frame.Dispatch(CommandId::Exit));
  EXPECT_TRUE(frame.isVisible());
  EXPECT_TRUE(Connected());
  EXPECT_EQ(harness.dialogs.Captions(), std::vector<std::string>{"Still Connected"});

  harness.dialogs.answer_yes = true;
  EXPECT_TRUE(frame.Dispatch(CommandId::Exit));
  EXPECT_FALSE(frame.isVisible());
  EXPECT_FALSE(Connected());
  EXPECT_FALSE(harness.node().driver_link().IsOpen());
  EXPECT_TRUE(host.window.WaitFor("Bye!"));
  EXPECT_FALSE(harness.store.profile.GetString("Windows", "Vorn", "").empty());
  EXPECT_FALSE(harness.store.profile.GetString("Windows", "Server Messages", "").empty());
}

TEST_F(LoopbackCommands, LocalServerModeFromTheMenuNeedsTheUsersWordToLeave) {
  CMainFrame& frame = harness.frame();
  ASSERT_TRUE(frame.Dispatch(CommandId::ServerMode));
  ASSERT_TRUE(harness.node().local_server().IsLocalServerMode());
  EXPECT_TRUE(Connected());  // to itself
  frame.UpdateCommandUi();
  EXPECT_TRUE(frame.action(CommandId::ServerMode)->isChecked());

  // Leaving the mode for another server needs the user's word.
  harness.prompts.answer_ok = false;
  EXPECT_TRUE(frame.Dispatch(CommandId::ConnectDefault));
  EXPECT_TRUE(harness.node().local_server().IsLocalServerMode());
  EXPECT_EQ(harness.prompts.asked, std::vector<std::string>{"Running as Local Server"});
  EXPECT_TRUE(frame.Dispatch(CommandId::ServerMode));
  EXPECT_FALSE(harness.node().local_server().IsLocalServerMode());
  EXPECT_FALSE(Connected());
}

// /get without a name saves under the offered name in the download folder
// and says where; View > Transfers opens one window.
TEST_F(LoopbackCommands, GetSavesUnderTheOfferedNameInTheDownloadFolder) {
  const QString folder = harness.store.Path("downloads");
  harness.store.profile.WriteString("Misc", "Download Folder", folder.toStdString());
  QFile offered(harness.store.Path("map.zip"));
  ASSERT_TRUE(offered.open(QIODevice::WriteOnly));
  offered.write(QByteArray(20000, 'm'));
  offered.close();
  CMainFrame& frame = harness.frame();
  ASSERT_TRUE(frame.Dispatch(CommandId::ConnectDefault));
  CVorn95View* chat = OpenChatWindow();
  ASSERT_NE(chat, nullptr);
  host.node->chat().JoinChannel("#chat");
  ASSERT_TRUE(ProcessUntil([&] { return host.node->chat().ChatListPeers().size() == 2; }));
  const ChatInputId host_input = static_cast<HeadlessChatWindows&>(host.node->chat_windows()).InputOf("#chat");
  host.node->chat().ExecuteChatLine("/offer " + offered.fileName().toStdString(), host_input);
  const QString announced = QStringLiteral("[0] ") + offered.fileName();
  ASSERT_TRUE(ProcessUntil([&] { return chat->outputPane()->toPlainText().contains(announced); }));
  Say(*chat, QStringLiteral("/get Host 0"));
  const QString target = folder + QStringLiteral("/map.zip");
  EXPECT_TRUE(chat->outputPane()->toPlainText().contains(QStringLiteral("as \"%1\".").arg(target)))
      << chat->outputPane()->toPlainText().toStdString();
  EXPECT_TRUE(ProcessUntil([&] { return QFileInfo(target).size() == 20000; }));
  EXPECT_TRUE(ProcessUntil([&] { return chat->outputPane()->toPlainText().contains(QStringLiteral("is complete")); }));
  for (int twice = 0; twice < 2; ++twice) ASSERT_TRUE(frame.Dispatch(CommandId::Transfers));
  EXPECT_NE(frame.transfersWindow(), nullptr);
  EXPECT_EQ(frame.mdiArea()->subWindowList().size(), 3);
}

// What the flags mean: the two-instance chat test starts its programs with
// them. Their mistakes are refused.
TEST(CommandLine, MistakesAreRefused) {
  QString error;
  for (const QStringList& wrong :
       {QStringList{"--my-ip"}, {"--frobnicate"}, {"127.0.0.5", "127.0.0.6"}, {"--dosbox-port", "70000"}}) {
    EXPECT_FALSE(ParseCommandLine(QStringList{QStringLiteral("vorn95")} + wrong, error))
        << wrong.join(' ').toStdString();
  }
  EXPECT_EQ(error, "--dosbox-port needs a port from 1 to 65535");
}

}  // namespace
}  // namespace vorn
