#include "game_launcher.h"

#include <QAction>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QVariant>

#include "core_adapter.h"
#include "node/node.h"
#include "platform/text.h"
#include "settings/user_games_model.h"
#include "text_convert.h"

namespace vorn {
namespace {

// Where a button keeps its own picture and the icon path last shown.
constexpr const char* kOwnIcon = "vornOwnIcon";
constexpr const char* kShownIconPath = "vornShownIconPath";

}  // namespace

bool RunUserGame(const UserGame& game, Dialogs& dialogs) {
  const int error = StartUserGame(game);
  if (error == 0) return true;
  dialogs.ShowMessage("Error Running Game!", Format("Could not run(%lu): %s", static_cast<unsigned long>(error),
                                                    UserGameCommandLine(game).c_str()));
  return false;
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
  vorn::RunUserGame(*game, dialogs_);
}

}  // namespace vorn
