#include "server_list_dialog.h"

#include <QLabel>
#include <QTreeWidget>
#include <cstdlib>

#include "app_harness.h"
#include "server_props_dialog.h"

namespace vorn {
namespace {

// Fills in the properties dialog that the next click opens, first pressing
// OK on it empty, which must keep it open.
void FillNextProps(const QString& name, const QString& address) {
  OnNextDialog<ServerPropsDlg>([=](ServerPropsDlg& props) {
    props.nameEdit()->clear();
    props.accept();
    EXPECT_TRUE(props.isVisible());
    props.nameEdit()->setText(name);
    props.addressEdit()->setText(address);
    props.accept();
  });
}

int RowOf(const ServerListDlg& dialog, const QString& name) {
  const QStringList lines = dialog.lines();
  for (int row = 0; row < lines.size(); ++row) {
    if (lines[row].section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('*')) == name) return row;
  }
  return -1;
}

// As bytes, so that a failure prints readable lines.
std::vector<std::string> Lines(const ServerListDlg& dialog) {
  std::vector<std::string> lines;
  for (const QString& line : dialog.lines()) lines.push_back(line.toStdString());
  return lines;
}
using Texts = std::vector<std::string>;

class ServerListDlgTest : public StoreTest {
 protected:
  void SetUp() override {
    profile.WriteString("Servers", "Home", "127.0.0.5");
    profile.WriteString("Servers", "away", "127.0.0.6:3000");
    profile.WriteString("Servers", "Default Server", "Home");
    profile.WriteString("Servers", "Copy", "127.0.0.5");
    store.LoadServerList();
    store.SetDefaultServer("HOME");
  }
  std::string Stored(const char* name) { return profile.GetString("Servers", name, "<none>"); }

  std::string last_address = "127.0.0.9";
};

TEST_F(ServerListDlgTest, DefaultIsMarkedAndSortedFirstAndMoves) {
  ServerListDlg dialog(store, dialogs, last_address, nullptr);
  dialog.show();
  EXPECT_EQ(Lines(dialog),
            (Texts{"*Home\t127.0.0.5", "away\t127.0.0.6:3000", "Copy\t127.0.0.5", "Default Server\t127.0.0.5"}));
  EXPECT_EQ(dialog.defaultLabel()->text(), "HOME");
  EXPECT_EQ(dialog.addressEdit()->text(), "127.0.0.9");
  EXPECT_FALSE(dialog.editButton()->isEnabled());
  // Without a selection the buttons that need one do nothing.
  for (QPushButton* button :
       {dialog.editButton(), dialog.deleteButton(), dialog.defaultButton(), dialog.queryButton()}) {
    button->click();
  }
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_FALSE(dialog.queried().has_value());

  dialog.selectRow(RowOf(dialog, "Copy"));
  dialog.defaultButton()->click();
  EXPECT_EQ(Lines(dialog),
            (Texts{"*Copy\t127.0.0.5", "away\t127.0.0.6:3000", "Default Server\t127.0.0.5", "Home\t127.0.0.5"}));
  EXPECT_EQ(dialog.defaultLabel()->text(), "Copy");
  EXPECT_EQ(profile.GetString("Servers", "Default Server", ""), "Copy");
  EXPECT_TRUE(dialog.editButton()->isEnabled());  // the new default is selected and current

  // Add and edit check their fields and make the entry current; the list
  // is saved when the dialog closes.
  FillNextProps(QStringLiteral("Brand New"), QStringLiteral("127.0.0.30"));
  dialog.addButton()->click();
  EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{"Information not Complete", "You must enter a Name and an Address!"}}));
  EXPECT_EQ(Lines(dialog)[2], "Brand New\t127.0.0.30");
  EXPECT_EQ(dialog.addressEdit()->text(), "127.0.0.30");
  FillNextProps(QStringLiteral("Renamed"), QStringLiteral("127.0.0.31"));
  dialog.editButton()->click();
  EXPECT_EQ(RowOf(dialog, "Brand New"), -1);
  EXPECT_EQ(dialog.addressEdit()->text(), "127.0.0.31");
  EXPECT_EQ(Stored("Renamed"), "<none>");
  dialog.accept();
  EXPECT_EQ(dialog.chosen(), (ServerEntry{"Renamed", "127.0.0.31"}));
  EXPECT_EQ(Stored("Renamed"), "127.0.0.31");
}

// A deletion is saved also when the dialog is cancelled, which keeps the
// last address. Two entries with one address are still two: the line
// picked is the one acted on; OK remembers its address.
TEST_F(ServerListDlgTest, DeleteSavesAndPickingALineNamesTheResultUserSpecified) {
  {
    ServerListDlg dialog(store, dialogs, last_address, nullptr);
    dialog.selectRow(RowOf(dialog, "away"));
    dialogs.answer_yes = true;
    dialog.deleteButton()->click();
    EXPECT_EQ(Lines(dialog), (Texts{"*Home\t127.0.0.5", "Copy\t127.0.0.5", "Default Server\t127.0.0.5"}));
    EXPECT_FALSE(dialog.deleteButton()->isEnabled());
    EXPECT_EQ(Stored("away"), "127.0.0.6:3000");  // not yet
    dialog.reject();
    EXPECT_FALSE(dialog.chosen().has_value());
  }
  EXPECT_EQ(Stored("away"), "<none>");
  EXPECT_EQ(Stored("Default Server"), "HOME");
  EXPECT_EQ(last_address, "127.0.0.9");

  ServerListDlg dialog(store, dialogs, last_address, nullptr);
  dialog.selectRow(RowOf(dialog, "Copy"));
  EXPECT_EQ(dialog.addressEdit()->text(), "127.0.0.5");
  dialogs.answer_yes = false;
  dialog.deleteButton()->click();
  EXPECT_EQ(dialogs.shown.back(), (Shown{"Delete Server?", "Do you really want to delete the entry for <Copy>"}));
  dialog.accept();
  EXPECT_EQ(dialog.chosen(), (ServerEntry{"User Specified IP#", "127.0.0.5"}));
  EXPECT_EQ(last_address, "127.0.0.5");

  ServerListDlg again(store, dialogs, last_address, nullptr);
  EXPECT_EQ(again.addressEdit()->text(), "127.0.0.5");
  again.addressEdit()->setText(QStringLiteral("127.0.0.12:2300"));
  emit again.listBox()->itemDoubleClicked(again.listBox()->topLevelItem(0), 0);
  EXPECT_EQ(again.result(), QDialog::Accepted);
  EXPECT_EQ(again.chosen(), (ServerEntry{"User Specified IP#", "127.0.0.12:2300"}));
}

// docs/screenshot-server-list.png
TEST_F(ServerListDlgTest, Screenshot) {
  profile.DeleteSection("Servers");
  for (const ServerEntry& server : std::vector<ServerEntry>{{"Home", "127.0.0.40"},
                                                            {"LAN Party", "127.0.0.41:2300"},
                                                            {"Night Owls", "127.0.0.42"},
                                                            {"Weekend League", "127.0.0.43"},
                                                            {"Old School", "127.0.0.44:2214"}}) {
    profile.WriteString("Servers", server.name, server.address);
  }
  store.LoadServerList();
  store.SetDefaultServer("Night Owls");
  ServerListDlg dialog(store, dialogs, last_address, nullptr);
  dialog.selectRow(RowOf(dialog, "LAN Party"));
  SaveScreenshot("VORN_SERVER_LIST_SCREENSHOT", dialog);
}

// The dialog as the Connect command runs it, against a second node; query
// output goes to the message window, wherever the user worked last.
class ServerListCommand : public HostedApp {
 protected:
  void Configure(Profile& profile) override { profile.WriteInt("Misc", "Redirect Queries", 1); }
};

// Query prints the announcement and the answer without connecting and
// keeps the edits; OK connects to the picked line.
TEST_F(ServerListCommand, QueryAsksWithoutConnectingAndOkConnectsToThePickedLine) {
  OnNextDialog<ServerListDlg>([](ServerListDlg& dialog) {
    FillNextProps(QStringLiteral("Later"), QStringLiteral("127.0.0.50"));
    dialog.addButton()->click();
    dialog.selectRow(RowOf(dialog, "Host"));
    dialog.queryButton()->click();
  });
  EXPECT_TRUE(harness.frame().Dispatch(CommandId::Connect));
  const QString address = QString::fromStdString(host.AddressText());
  EXPECT_TRUE(MessageText().contains(QStringLiteral("Requesting player list from Host(%1)...\n\n").arg(address)))
      << MessageText().toStdString();
  EXPECT_TRUE(host.window.WaitFor("Games!"));
  EXPECT_TRUE(ProcessUntil([&] { return MessageText().contains(QStringLiteral(" # Nickname")); }));
  EXPECT_FALSE(MessageText().contains(QStringLiteral("Connecting to")));
  EXPECT_FALSE(Connected());
  EXPECT_EQ(harness.store.profile.GetString("Servers", "Later", ""), "127.0.0.50");

  OnNextDialog<ServerListDlg>([](ServerListDlg& dialog) {
    dialog.selectRow(RowOf(dialog, "Host"));
    dialog.accept();
  });
  EXPECT_TRUE(harness.frame().Dispatch(CommandId::Connect));
  EXPECT_TRUE(ProcessUntil([&] { return Connected(); }));
  EXPECT_TRUE(MessageText().contains(QStringLiteral("Connecting to User Specified IP# at %1\n").arg(address)))
      << MessageText().toStdString();
}

}  // namespace
}  // namespace vorn
