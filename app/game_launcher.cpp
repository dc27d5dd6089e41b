#include "game_launcher.h"

#include <QAction>
#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QStandardPaths>
#include <QVariant>
#include <cstdlib>

#include "core_adapter.h"
#include "ipx/dosbox_driver.h"
#include "node/node.h"
#include "platform/process_launch.h"
#include "platform/text.h"
#include "settings/dosbox_game.h"
#include "settings/user_games_model.h"
#include "text_convert.h"

namespace vorn {
namespace {

// Where a button keeps its own picture and the icon path last shown.
constexpr const char* kOwnIcon = "vornOwnIcon";
constexpr const char* kShownIconPath = "vornShownIconPath";
constexpr std::string_view kRunErrorCaption = "Error Running Game!";

}  // namespace

bool RunUserGame(const UserGame& game, Dialogs& dialogs) {
  const int error = StartUserGame(game);
  if (error == 0) return true;
  dialogs.ShowMessage(kRunErrorCaption, Format("Could not run(%lu): %s\n\n%s", static_cast<unsigned long>(error),
                                               UserGameCommandLine(game).c_str(), LaunchErrorText(error).c_str()));
  return false;
}

std::string DosboxConfigPath(int slot) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/dosbox");
  QDir().mkpath(folder);
  return EncodeText(folder + QStringLiteral("/game%1.conf").arg(slot));
}

void ShowGameIcon(QAction* action, const std::string& icon_path) {
  const QString path = DecodeText(icon_path);
  const QVariant shown = action->property(kShownIconPath);
  if (shown.isValid() && shown.toString() == path) return;
  if (!action->property(kOwnIcon).isValid()) action->setProperty(kOwnIcon, QVariant::fromValue(action->icon()));
  action->setProperty(kShownIconPath, path);
  QImageReader reader(path);
  const QImage image = path.isEmpty() ? QImage() : reader.read();
  if (image.isNull()) {
    action->setIcon(action->property(kOwnIcon).value<QIcon>());
  } else {
    action->setIcon(QIcon(QPixmap::fromImage(image)));
  }
}

void CoreAdapter::RunUserGame(int slot) {
  const UserGame* game = node_.settings().userGame(slot);
  if (game == nullptr || !game->IsConfigured()) return;
  if (game->IsDosbox()) {
    // A copy: connecting may merge a tracker's list into the settings.
    if (std::string why = StartDosboxGame(slot, UserGame(*game)); !why.empty())
      dialogs_.ShowMessage(kRunErrorCaption, why);
  } else {
    vorn::RunUserGame(*game, dialogs_);
  }
}

// DOSBox takes the node it is given once, at its start: the node must
// know its own address, which a connection settles, before DOSBox runs.
std::string CoreAdapter::ConnectForDosbox() {
  Connection& connection = node_.connection();
  if (connection.IsConnected()) return {};
  SettingsStore& settings = node_.settings();
  const ServerEntry* found = settings.FindServer(settings.settings().default_server, std::nullopt);
  if (found == nullptr)
    return "Not connected, and no default server is set: connect to a server first, so that DOSBox learns this "
           "node's address.";
  const ServerEntry entry = *found;
  if (connection.ConnectByName(entry.name, entry.address)) return {};
  return "Could not connect to " + entry.name + " at " + entry.address +
         ": DOSBox was not started, as it would not learn this node's address.";
}

std::string CoreAdapter::StartDosboxGame(int slot, const UserGame& game) {
  if (dosbox_ == nullptr) return dosbox_off_reason_.empty() ? "DOSBox games need the DOSBox port." : dosbox_off_reason_;
  std::string why;
  const char* path = std::getenv("PATH");
  const std::optional<std::string> dosbox = FindDosbox(game.dosbox_program, path ? path : "", why);
  if (!dosbox) return why;
  if (why = ConnectForDosbox(); !why.empty()) return why;
  const std::optional<DosboxStart> start =
      PrepareDosboxGame(game, *dosbox, dosbox_->BoundPort(), DosboxConfigPath(slot), why);
  if (!start) return why;
  if (const int error = LaunchDetached(start->argv, start->directory); error != 0)
    return "Could not run " + *dosbox + ": " + LaunchErrorText(error);
  return {};
}

}  // namespace vorn
