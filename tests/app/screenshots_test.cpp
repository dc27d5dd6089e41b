// Not checks: with VORN_SCREENSHOTS set to a folder, each widget's picture
// goes there as screenshot-<name>.png (how the pictures in docs/ are made).
#include <QHBoxLayout>
#include <QMdiArea>
#include <QTabWidget>

#include "app_harness.h"
#include "artwork.h"
#include "color_sheet.h"
#include "server_list_dialog.h"
#include "settings/dosbox_game.h"
#include "settings_dialogs.h"
#include "transfers_window.h"
#include "user_games_sheet.h"

namespace vorn {
namespace {

class Screenshot : public StoreTest, public ::testing::WithParamInterface<const char*> {
 protected:
  std::unique_ptr<QWidget> Make(std::string_view name);
  std::unique_ptr<QWidget> Transfers();
  std::unique_ptr<QWidget> BothColourPages();

  ScriptedPrompts prompts;
  std::string last_address = "127.0.0.9";
};

std::unique_ptr<QWidget> Screenshot::Make(std::string_view name) {
  if (name == "transfers") return Transfers();
  if (name == "colours") return BothColourPages();
  if (name == "options") {
    UserInfoForm form{"Ann Example", "Ann", "ann@example.org", "plays at night", "127.0.0.2", true, true};
    auto dialog = std::make_unique<UserInfoDlg>(
        form, dialogs, [](QWidget*) {}, nullptr);
    dialog->SetDownloadFolder(QStringLiteral("/home/ann/Downloads"));
    return dialog;
  }
  if (name == "user-games") {
    UserGame tanks{"Tanks", "TANKS.EXE", "-net", "/home/alice/games/tanks", ""};
    tanks.kind = std::string(kDosboxGameKind);
    tanks.dosbox_settings = "[cpu]\ncycles=max";
    store.SetUserGame(1, tanks);
    return std::make_unique<GamesSheet>(store, dialogs, FileChooser{}, nullptr);
  }
  for (const char* server : {"Home=127.0.0.40", "LAN Party=127.0.0.41:2300", "Night Owls=127.0.0.42",
                             "Weekend League=127.0.0.43", "Old School=127.0.0.44:2214"}) {
    const QStringList entry = QString::fromLatin1(server).split(QLatin1Char('='));
    profile.WriteString("Servers", entry[0].toStdString(), entry[1].toStdString());
  }
  store.LoadServerList();
  store.SetDefaultServer("Night Owls");
  auto dialog = std::make_unique<ServerListDlg>(store, dialogs, last_address, nullptr);
  dialog->selectRow(1);
  return dialog;
}

// A download and an upload.
std::unique_ptr<QWidget> Screenshot::Transfers() {
  TransfersServices services{profile};
  services.transfers = [] {
    return std::vector<TransferStatus>{{true, "/home/ann/Downloads/dune2-maps.zip", "Bob", 734003, 0, 245000},
                                       {false, "/home/ann/games/warcraft-save.w2s", "Cy", 1310720, 2097152, 412000}};
  };
  auto area = std::make_unique<QMdiArea>();
  auto* window = new TransfersWindow(std::move(services));
  area->addSubWindow(window);
  area->resize(680, 190);
  window->setWindowIcon(AppIcon());
  window->setGeometry(0, 0, 680, 190);
  return area;
}

// The system page beside the nickname page.
std::unique_ptr<QWidget> Screenshot::BothColourPages() {
  profile.WriteInt("Chat Colors", "Ann", 0x000000FF);
  profile.WriteInt("Chat Colors", "bob", 0x0000FF00);
  store.LoadColors();
  auto both = std::make_unique<QWidget>();
  auto* row = new QHBoxLayout(both.get());
  for (int page : {0, 1}) {
    auto* sheet = new ColorsSheet(store, "Dora", dialogs, prompts, both.get());
    sheet->setWindowFlags(Qt::Widget);
    sheet->tabs()->setCurrentIndex(page);
    row->addWidget(sheet);
  }
  both->resize(816, 260);
  return both;
}

TEST_P(Screenshot, ForTheDocs) {
  const QString folder = qEnvironmentVariable("VORN_SCREENSHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "VORN_SCREENSHOTS not set";
  std::unique_ptr<QWidget> widget = Make(GetParam());
  widget->show();
  ProcessUntil([&] { return widget->isVisible(); });
  EXPECT_TRUE(widget->grab().save(QStringLiteral("%1/screenshot-%2.png").arg(folder, GetParam())));
}

INSTANTIATE_TEST_SUITE_P(Docs, Screenshot,
                         ::testing::Values("options", "transfers", "server-list", "user-games", "colours"));

}  // namespace
}  // namespace vorn
