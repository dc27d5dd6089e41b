#include "game_launcher.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTabBar>
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

// The pages show the slots, all five tabs at once; a page edited into an
// incomplete game cannot be left, and OK writes the edited pages only,
// a DOSBox page with its emulator settings.
TEST_F(GamesSheetTest, AnIncompletePageCannotBeLeftAndOnlyEditedPagesAreWritten) {
  profile.DeleteSection("User Game 2");  // a rewrite would bring it back
  auto sheet = Sheet();
  QTabBar* bar = sheet->tabs()->tabBar();
  EXPECT_LE(bar->tabRect(4).right(), bar->width());
  EXPECT_EQ(sheet->page(2)->directoryEdit()->text(), "/games/duel");
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

// docs/screenshot-user-games.png
TEST_F(GamesSheetTest, Screenshot) {
  UserGame tanks{"Tanks", "TANKS.EXE", "-net", "/home/alice/games/tanks", ""};
  tanks.kind = std::string(kDosboxGameKind);
  tanks.dosbox_settings = "[cpu]\ncycles=max";
  store.SetUserGame(1, tanks);
  SaveScreenshot("VORN_USER_GAMES_SCREENSHOT", *Sheet());
}

// A browsed program counts as typed: without a title the page stays. The
// chooser starts at the field's file, or its directory, with the filters.
TEST_F(GamesSheetTest, BrowseFillsTheFieldAndClearingRemovesTheSection) {
  auto sheet = Sheet();
  CGamesDlg& empty = *sheet->page(1);
  Type(empty.directoryEdit(), QStringLiteral("/games/tanks"));
  browsed = QStringLiteral("/games/tanks/TANKS.EXE");
  empty.programBrowse()->click();
  EXPECT_EQ(empty.programEdit()->selectedText(), "/games/tanks/TANKS.EXE");
  EXPECT_FALSE(empty.CheckLeave());

  CGamesDlg& duel = *sheet->page(2);
  browsed.reset();
  duel.iconBrowse()->click();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].filter, kGameFileFilter);
  EXPECT_EQ(requests[0].directory, "/games/tanks");
  EXPECT_EQ(requests[1].filter, kIconFileFilter);
  EXPECT_EQ(requests[1].default_name, "/games/duel/duel.ico");
  EXPECT_EQ(requests[1].directory, "/games/duel");
  EXPECT_FALSE(duel.AnyFieldModified());

  // Clearing empties the fields and forgets the edits; OK then deletes the
  // stored section, so the game stays gone after a restart.
  Type(duel.titleEdit(), QStringLiteral("Duel 2"));
  duel.clearButton()->click();
  EXPECT_TRUE(duel.fields().IsCleared());
  EXPECT_FALSE(duel.AnyFieldModified());
  empty.clearButton()->click();
  sheet->accept();
  EXPECT_FALSE(store.userGame(2)->IsConfigured());
  EXPECT_EQ(profile.Enumerate("User Game 2").value_or(std::vector<ProfileValue>{}).size(), 0u);
}

// The real dialog: descriptions as written, patterns that find DOS names.
TEST(BrowseDialog, ShowsTheFiltersAsWrittenAndFindsUpperCaseNames) {
  QTemporaryDir dir;
  QFile exe(dir.filePath(QStringLiteral("DUEL.EXE")));
  ASSERT_TRUE(exe.open(QIODevice::WriteOnly));
  exe.close();
  QStringList filters;
  QString directory;
  OnNextDialog<QFileDialog>([&](QFileDialog& dialog) {
    filters = dialog.nameFilters();
    directory = dialog.directory().absolutePath();
    // A name field that has the focus would keep its text.
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    dialog.selectFile(QStringLiteral("DUEL.EXE"));
    static_cast<QDialog&>(dialog).accept();
  });
  const std::optional<QString> chosen =
      RunBrowseDialog(nullptr, BrowseRequest{QStringLiteral("Choose"), kGameFileFilter, {}, dir.path()});
  ASSERT_EQ(filters.size(), 2);
  EXPECT_TRUE(filters[0].startsWith(QStringLiteral("Game Files (*.exe;*.bat;*.com;*.PIF;*.lnk;*.btm) (")));
  EXPECT_TRUE(filters[0].contains(QStringLiteral("*.[eE][xX][eE]")));
  EXPECT_EQ(filters[1], "All Files (*.*) (*)");
  EXPECT_EQ(directory, QDir(dir.path()).absolutePath());
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
// script with arguments in its directory and has an icon file.
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
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(QColor(0, 200, 0));
    ASSERT_TRUE(image.save(harness.store.Path("game.png")));
    UserGame green{"Green", "/bin/sh", "-c 'touch ran'", directory, harness.store.Path("game.png").toStdString()};
    green.dirty = true;
    SaveUserGame(profile, 3, green);
  }
  void TearDown() override { QStandardPaths::setTestModeEnabled(false); }
};

// The slot's title and icon file; an empty slot is disabled, an unreadable
// icon keeps the built-in one; the run leaves the program's own directory.
TEST_F(GameCommands, RunTheSlotShowItsIconAndADosboxGameConnectsFirst) {
  CMainFrame& frame = harness.frame();
  frame.UpdateCommandUi();
  QAction* game = frame.action(GameCommand(3));
  EXPECT_EQ(game->text(), "&3. Green");
  EXPECT_EQ(game->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(0, 200, 0));
  EXPECT_FALSE(frame.action(GameCommand(4))->isEnabled());
  EXPECT_EQ(frame.action(GameCommand(4))->toolTip(), "Game 4");
  const QImage own = frame.action(GameCommand(5))->icon().pixmap(16, 16).toImage();
  const QString before = QDir::currentPath();
  EXPECT_TRUE(frame.Dispatch(GameCommand(3)));
  EXPECT_TRUE(ProcessUntil([&] { return QFile::exists(harness.store.Path("ran")); }));
  EXPECT_EQ(QDir::currentPath(), before);

  const UserGame unreadable_icon{"Five", "/bin/true", "", "", harness.store.Path("none.ico").toStdString()};
  harness.node().settings().SetUserGame(5, unreadable_icon);
  frame.UpdateCommandUi();
  EXPECT_EQ(frame.action(GameCommand(5))->icon().pixmap(16, 16).toImage(), own);

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
