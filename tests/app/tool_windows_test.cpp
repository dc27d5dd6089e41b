// The tool windows: the chat list (its lists and buttons, and the
// list in the program against a second node on loopback), the transfers
// window, whose rows follow the chat's transfers while it is open, and the
// link quality window.
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTableWidget>

#include "app_harness.h"
#include "chat_list_window.h"
#include "link_quality_window.h"
#include "transfers_window.h"

namespace vorn {
namespace {

// A tool window in an MDI area, at its stored placement.
template <typename Window, typename Services>
Window* ShowInArea(QMdiArea& area, Services services, QSize size = QSize(800, 600)) {
  auto* window = new Window(std::move(services));
  area.addSubWindow(window);
  area.resize(size);
  area.show();
  window->ShowAtStoredPlacement();
  return window;
}

class ChatListWindowTest : public ::testing::Test {
 protected:
  ChatListWindowTest() {
    ChatListServices services{profile};
    services.peers = [this] { return peers; };
    services.ping = [this](const std::string& n) { calls.push_back("ping " + n); };
    services.who_is = [this](const std::string& n) { calls.push_back("whois " + n); };
    services.colour = [this](const std::string& n) { calls.push_back("colour " + n); };
    services.join = [this](const std::string& c) { calls.push_back("join " + c); };
    window = ShowInArea<ChatListWindow>(area, std::move(services));
  }
  static ChatListPeer Peer(const char* nick, const char* channel, uint16_t port) {
    return {nick, channel, PeerAddress{0x7F000001, port}};
  }

  MemoryProfile profile;
  std::vector<ChatListPeer> peers;
  std::vector<std::string> calls;
  QMdiArea area;
  ChatListWindow* window = nullptr;
};

// The receive thread refreshes the lists: the channel and the nickname
// stay selected while others come and go; a channel gone selects the first.
TEST_F(ChatListWindowTest, RefreshKeepsTheSelections) {
  peers = {Peer("Tester", "#chat", 2220), Peer("bob", "#games", 2214), Peer("ann", "#chat", 2215)};
  window->Refresh();
  window->channelList()->setCurrentRow(1);
  window->nicknameList()->setCurrentRow(0);
  peers.insert(peers.begin() + 1, Peer("al", "#games", 2218));
  peers.push_back(Peer("zed", "#new", 2219));
  window->button(ChatListWindow::kRefreshButton)->click();
  EXPECT_EQ(Lines(window->channelList()), (QStringList{"#chat", "#games", "#new"}));
  EXPECT_EQ(window->SelectedChannel(), "#games");
  EXPECT_EQ(window->SelectedNickname(), "bob");
  peers.erase(peers.begin() + 1, peers.begin() + 3);
  window->Refresh();
  EXPECT_EQ(window->SelectedChannel(), "#chat");
}

// Names that are not UTF-8 (Latin-1 "Zoë", "#café") reach the buttons as
// the bytes they came in; without a selection the buttons do nothing.
TEST_F(ChatListWindowTest, ButtonsActOnTheSelectionOnly) {
  const auto click_all = [&] {
    for (int id : {ChatListWindow::kPingButton, ChatListWindow::kWhoIsButton, ChatListWindow::kColorButton,
                   ChatListWindow::kJoinButton}) {
      window->button(id)->click();
    }
  };
  click_all();
  peers = {Peer("Tester", "#caf\xE9", 2220), Peer("Zo\xEB", "#caf\xE9", 2215)};
  window->Refresh();
  window->button(ChatListWindow::kPingButton)->click();
  EXPECT_TRUE(calls.empty());
  window->nicknameList()->setCurrentRow(1);
  EXPECT_EQ(window->nicknameList()->currentItem()->text(), QString::fromUtf8("Zo\u00EB\t127.0.0.1:2215"));
  click_all();
  EXPECT_EQ(calls, (std::vector<std::string>{"ping Zo\xEB", "whois Zo\xEB", "colour Zo\xEB", "join #caf\xE9"}));
}

// In the program: the list opens with a chat window only, once, and follows
// other users.
class ChatListInProgram : public HostedApp {
 protected:
  ChatListWindow* List() { return harness.app->chatWindows().chatList(); }
  bool Lists(const QString& line) {
    return List() != nullptr && !List()->nicknameList()->findItems(line, Qt::MatchStartsWith).isEmpty();
  }
};

TEST_F(ChatListInProgram, OpensWithAChatWindowAndFollowsOtherUsers) {
  CMainFrame& frame = harness.frame();
  ASSERT_TRUE(frame.Dispatch(CommandId::ConnectDefault));
  EXPECT_FALSE(frame.Dispatch(CommandId::ChatList));
  CVorn95View* chat = OpenChatWindow();
  ASSERT_NE(chat, nullptr);

  ASSERT_TRUE(frame.Dispatch(CommandId::ChatList));
  ASSERT_NE(List(), nullptr);
  EXPECT_TRUE(ProcessUntil([&] { return Lists(QStringLiteral("Tester\t127.0.0.1:")); }));
  // Another user joins: the receive thread has the list read again.
  host.node->chat().JoinChannel("#chat");
  EXPECT_TRUE(ProcessUntil([&] { return Lists(QStringLiteral("Host\t127.0.0.1:")); }));

  // Joining the channel whose window is open only raises that window.
  List()->button(ChatListWindow::kJoinButton)->click();
  EXPECT_TRUE(ProcessUntil([&] { return frame.mdiArea()->currentSubWindow() == chat->parentWidget(); }));
  EXPECT_EQ(frame.mdiArea()->subWindowList().size(), 3);

  // Closing the only chat window leaves chat mode, closes the list and
  // remembers that it was open.
  chat->parentWidget()->close();
  ASSERT_TRUE(ProcessUntil([&] { return List() == nullptr && !harness.node().chat().IsChatModeOn(); }));
  EXPECT_EQ(harness.store.profile.GetInt("Windows", "Chat List Open", 0), 1);
  EXPECT_FALSE(harness.store.profile.GetString("Windows", "Chat List", "").empty());
  ASSERT_TRUE(frame.Dispatch(CommandId::ChatWindow));
  EXPECT_TRUE(ProcessUntil([&] { return List() != nullptr; }));
}

TEST(TransfersWindow, RowsFollowTheTransfersAndCancelEndsTheDownload) {
  MemoryProfile profile;
  std::vector<TransferStatus> transfers;
  TransfersServices services{profile};
  services.transfers = [&] { return transfers; };
  services.cancel_download = [&] { transfers.erase(transfers.begin()); };
  QMdiArea area;
  auto* window = ShowInArea<TransfersWindow>(area, std::move(services));
  transfers = {{true, "/home/u/Downloads/map.zip", "Bob", 1536, 0, 2048}, {false, "save.dat", "Ann", 250, 1000, 100}};
  ASSERT_TRUE(ProcessUntil([&] { return window->table()->rowCount() == 2; }));
  const auto row = [&](int r) {
    QStringList cells;
    for (int c = TransfersWindow::kFile; c <= TransfersWindow::kRate; ++c) cells << window->table()->item(r, c)->text();
    return cells;
  };
  EXPECT_EQ(row(0), (QStringList{"map.zip", "from Bob", "1.5 KB", "2.0 KB/s"}));
  EXPECT_EQ(row(1), (QStringList{"save.dat", "to Ann", "250 bytes of 1000 bytes", "100 bytes/s"}));
  EXPECT_EQ(window->cancelButton(1), nullptr);  // only the download is ours to call off

  window->cancelButton(0)->click();
  EXPECT_EQ(window->table()->rowCount(), 1);
  EXPECT_EQ(row(0)[0], "save.dat");
}

TEST(LinkQualityWindowTest, ShowsEachLinkWithItsFigures) {
  MemoryProfile profile;
  std::vector<LinkReport> reports;
  LinkQualityServices services{profile};
  services.reports = [&] { return reports; };
  services.name = [](PeerAddress peer) { return peer.port == 4000 ? std::string("alice") : std::string(); };
  QMdiArea area;
  auto* window = ShowInArea<LinkQualityWindow>(area, std::move(services));
  LinkReport alice{{0x7F000001, 4000}, true, true, 52, 4, 4.8, 0, 0, {}};
  alice.history.assign(60, LinkSecond{52, 4, 35, 2, true});
  reports = {alice, LinkReport{{0x7F000001, 4001}, false, false, 0, 0, 0, 0, 0, {}}};
  window->Refresh();
  EXPECT_EQ(window->RowTexts(),
            (std::vector<std::string>{"alice (127.0.0.1:4000): 52 ms, jitter 4 ms, loss 4.8%, protected",
                                      "(127.0.0.1:4001): no answer to probes: an older program, nothing measured"}));
  window->grab();  // the graphs paint a full minute without trouble
}

}  // namespace
}  // namespace vorn
