#include "game_launcher.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTabWidget>

#include "app_harness.h"
#include "settings/dosbox_game.h"
#include "settings/user_games_model.h"
#include "user_games_sheet.h"

namespace vorn {
namespace {

const Shown kMissing{"Missing Information", "You must enter a Program and a Title!"};

class GamesSheetTest : public StoreTest {
 protected:
  GamesSheetTest() {
    UserGame duel{"Duel", "/games/duel/duel.exe", "-net", "/games/duel", "/games/duel/duel.ico"};
    store.SetUserGame(2, duel);
    store.SaveUserGame(2);
  }
  std::unique_ptr<GamesSheet> Sheet() {
    auto sheet = std::make_unique<GamesSheet>(store, dialogs, chooser, nullptr);
    sheet->show();
    return sheet;
  }
  // As typed by the user: the field counts as edited.
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    edit->setModified(true);
  }

  std::vector<BrowseRequest> requests;
  std::optional<QString> browsed;
  FileChooser chooser = [this](QWidget*, const BrowseRequest& request) {
    requests.push_back(request);
    return browsed;
  };
};

// A page edited into an incomplete game cannot be left, and OK writes the
// edited pages only, a DOSBox page with its emulator settings.
TEST_F(GamesSheetTest, AnIncompletePageCannotBeLeftAndOnlyEditedPagesAreWritten) {
  profile.DeleteSection("User Game 2");  // a rewrite would bring it back
  auto sheet = Sheet();
  CGamesDlg& page = *sheet->page(1);
  Type(page.titleEdit(), QStringLiteral("Tanks"));
  sheet->tabs()->setCurrentIndex(2);
  EXPECT_EQ(sheet->tabs()->currentIndex(), 0);
  sheet->accept();
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(dialogs.shown, (std::vector<Shown>{kMissing, kMissing}));

  Type(page.programEdit(), QStringLiteral("TANKS.EXE"));
  EXPECT_FALSE(page.dosboxSettingsEdit()->isEnabled());
  page.dosboxCheck()->setChecked(true);
  page.dosboxSettingsEdit()->setPlainText(QStringLiteral("[cpu]\ncycles=max"));
  sheet->tabs()->setCurrentIndex(2);
  EXPECT_EQ(sheet->tabs()->currentIndex(), 2);
  sheet->accept();
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_TRUE(store.userGame(1)->IsDosbox());
  EXPECT_EQ(profile.GetString("User Game 1", "Program", ""), "TANKS.EXE");
  EXPECT_EQ(profile.GetString("User Game 1", "Kind", ""), "DOSBox");
  EXPECT_EQ(profile.GetString("User Game 1", "DOSBox Settings", ""), "[cpu]\ncycles=max");
  EXPECT_EQ(profile.GetString("User Game 2", "Title", "none"), "none");
}

// A browsed program counts as typed: without a title the page stays. The
// chooser starts in the directory the page names.
TEST_F(GamesSheetTest, BrowseFillsTheFieldAndClearingRemovesTheSection) {
  auto sheet = Sheet();
  CGamesDlg& empty = *sheet->page(1);
  Type(empty.directoryEdit(), QStringLiteral("/games/tanks"));
  browsed = QStringLiteral("/games/tanks/TANKS.EXE");
  empty.programBrowse()->click();
  EXPECT_EQ(empty.programEdit()->selectedText(), "/games/tanks/TANKS.EXE");
  EXPECT_EQ(requests.at(0).directory, "/games/tanks");
  EXPECT_FALSE(empty.CheckLeave());

  // Clearing empties the fields and forgets the edits; OK then deletes the
  // stored section, so the game stays gone after a restart.
  CGamesDlg& duel = *sheet->page(2);
  Type(duel.titleEdit(), QStringLiteral("Duel 2"));
  duel.clearButton()->click();
  EXPECT_TRUE(duel.fields().IsCleared());
  EXPECT_FALSE(duel.AnyFieldModified());
  empty.clearButton()->click();
  sheet->accept();
  EXPECT_FALSE(store.userGame(2)->IsConfigured());
  EXPECT_EQ(profile.Enumerate("User Game 2").value_or(std::vector<ProfileValue>{}).size(), 0u);
}

// The real dialog: its patterns find DOS names.
TEST(BrowseDialog, FindsUpperCaseNames) {
  QTemporaryDir dir;
  QFile exe(dir.filePath(QStringLiteral("DUEL.EXE")));
  ASSERT_TRUE(exe.open(QIODevice::WriteOnly));
  exe.close();
  OnNextDialog<QFileDialog>([&](QFileDialog& dialog) {
    // A name field that has the focus would keep its text.
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    dialog.selectFile(QStringLiteral("DUEL.EXE"));
    static_cast<QDialog&>(dialog).accept();
  });
  const std::optional<QString> chosen =
      RunBrowseDialog(nullptr, BrowseRequest{QStringLiteral("Choose"), kGameFileFilter, {}, dir.path()});
  EXPECT_EQ(chosen, QDir(dir.path()).absoluteFilePath(QStringLiteral("DUEL.EXE")));
}

// Without arguments the program gets none (not one empty one); a missing
// one is reported with its errno. With arguments and a directory: below.
TEST(RunUserGame, StartsWithoutArgumentsOrReportsTheErrno) {
  QTemporaryDir dir;
  ScriptedDialogs dialogs;
  const QString script = dir.filePath(QStringLiteral("game.sh"));
  WriteExecutable(script, QStringLiteral("echo \"$#\" > '%1.tmp'; mv '%1.tmp' '%1'").arg(dir.filePath("argc")));
  EXPECT_TRUE(RunUserGame(UserGame{"T", script.toStdString(), "", "", ""}, dialogs));
  EXPECT_EQ(AwaitFile(dir.filePath(QStringLiteral("argc"))), "0\n");
  EXPECT_TRUE(dialogs.shown.empty());

  const std::string missing = dir.filePath(QStringLiteral("missing.exe")).toStdString();
  EXPECT_FALSE(RunUserGame(UserGame{"T", missing, "-net", "", ""}, dialogs));
  EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{"Error Running Game!", "Could not run(2): " + missing +
                                                                           " -net\n\nThe program or the game's "
                                                                           "directory was not found."}}));
}

// The menu's game commands in the program. Slot 1 runs a DOSBox game
// through a stand-in emulator, slot 2 names a missing one, slot 3 runs a
// script with arguments in its directory.
class GameCommands : public HostedApp {
 protected:
  void Configure(Profile& profile) override {
    QStandardPaths::setTestModeEnabled(true);
    const QString dosbox = harness.store.Path("fake-dosbox");
    WriteExecutable(dosbox, QStringLiteral("echo \"$@\" > '%1.tmp'; mv '%1.tmp' '%1'").arg(harness.store.Path("args")));
    const std::string directory = harness.store.dir.path().toStdString();
    UserGame game{"Tanks", "TANKS.EXE", "-net", directory, ""};
    game.kind = std::string(kDosboxGameKind);
    game.dosbox_program = dosbox.toStdString();
    for (int slot : {1, 2}) {
      game.dirty = true;
      SaveUserGame(profile, slot, game);
      game.dosbox_program = "/none/dosbox";
    }
    UserGame green{"Green", "/bin/sh", "-c 'touch ran'", directory, ""};
    green.dirty = true;
    SaveUserGame(profile, 3, green);
  }
  void TearDown() override { QStandardPaths::setTestModeEnabled(false); }
};

// The run leaves the program's own directory.
TEST_F(GameCommands, RunTheSlotAndADosboxGameConnectsFirst) {
  CMainFrame& frame = harness.frame();
  const QString before = QDir::currentPath();
  EXPECT_TRUE(frame.Dispatch(GameCommand(3)));
  EXPECT_TRUE(ProcessUntil([&] { return QFile::exists(harness.store.Path("ran")); }));
  EXPECT_EQ(QDir::currentPath(), before);

  // One click: not connected, the game connects to the default server first,
  // writes its own configuration for this node's DOSBox port and starts the
  // emulator with it; without an emulator it says so.
  harness.node().connection().DisconnectFromServer();
  ASSERT_FALSE(Connected());
  EXPECT_TRUE(harness.frame().Dispatch(GameCommand(1)));
  EXPECT_TRUE(Connected());
  const QString args = AwaitFile(harness.store.Path("args"));
  const std::string config = DosboxConfigPath(1);
  EXPECT_EQ(args.toStdString(), "-conf " + config + "\n");
  QFile written(QString::fromStdString(config));
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(written.readAll());
  EXPECT_TRUE(text.contains(
      QStringLiteral("ipxnet connect 127.0.0.1 %1\nTANKS.EXE -net\n").arg(harness.app->dosbox()->BoundPort())))
      << text.toStdString();
  EXPECT_TRUE(harness.dialogs.shown.empty());
  harness.frame().Dispatch(GameCommand(2));
  EXPECT_EQ(harness.dialogs.shown, (std::vector<Shown>{{"Error Running Game!",
                                                        "The DOSBox program /none/dosbox was not found or cannot be "
                                                        "run."}}));
}

}  // namespace
}  // namespace vorn
