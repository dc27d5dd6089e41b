#include "server_list_dialog.h"

#include <QTreeWidget>

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

// The default is marked and sorted first and moves at once. A deletion
// needs a yes and is saved also when the dialog is cancelled, which keeps
// the last address. A line picked and accepted is connected to by its
// address, which is remembered.
TEST_F(ServerListDlgTest, DefaultMovesDeleteIsSavedOnCancelAndAPickedLineIsUserSpecified) {
  {
    ServerListDlg dialog(store, dialogs, last_address, nullptr);
    EXPECT_EQ(Lines(dialog),
              (Texts{"*Home\t127.0.0.5", "away\t127.0.0.6:3000", "Copy\t127.0.0.5", "Default Server\t127.0.0.5"}));
    EXPECT_EQ(dialog.addressEdit()->text(), "127.0.0.9");
    dialog.selectRow(RowOf(dialog, "Copy"));
    dialog.defaultButton()->click();
    EXPECT_EQ(Lines(dialog).front(), "*Copy\t127.0.0.5");
    dialog.selectRow(RowOf(dialog, "away"));
    dialogs.answer_yes = false;
    dialog.deleteButton()->click();
    dialogs.answer_yes = true;
    dialog.deleteButton()->click();
    EXPECT_EQ(RowOf(dialog, "away"), -1);
    EXPECT_EQ(Stored("away"), "127.0.0.6:3000");  // not yet
    dialog.reject();
    EXPECT_FALSE(dialog.chosen().has_value());
  }
  EXPECT_EQ(dialogs.shown.front(), (Shown{"Delete Server?", "Do you really want to delete the entry for <away>"}));
  EXPECT_EQ(Stored("away"), "<none>");
  EXPECT_EQ(Stored("Default Server"), "Copy");
  EXPECT_EQ(last_address, "127.0.0.9");

  ServerListDlg dialog(store, dialogs, last_address, nullptr);
  dialog.selectRow(RowOf(dialog, "Home"));
  emit dialog.listBox()->itemDoubleClicked(dialog.listBox()->currentItem(), 0);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.chosen(), (ServerEntry{"User Specified IP#", "127.0.0.5"}));
  EXPECT_EQ(last_address, "127.0.0.5");
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
  EXPECT_EQ(harness.dialogs.Captions(), std::vector<std::string>{"Information not Complete"});

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
