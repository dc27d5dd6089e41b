#pragma once
// Starting a configured game, and the picture of its tool bar button.
#include <string>

#include "platform/dialogs.h"
#include "settings/user_games.h"

class QAction;

namespace vorn {

// Starts the game without waiting for it. A game that cannot be started
// gets the message box "Error Running Game!" with the errno and the
// command line. True when it was started.
bool RunUserGame(const UserGame& game, Dialogs& dialogs);

// The button shows the icon file when it can be loaded, otherwise its own
// picture. The file is read again only when the path changes.
void ShowGameIcon(QAction* action, const std::string& icon_path);

}  // namespace vorn
