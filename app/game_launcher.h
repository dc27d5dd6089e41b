#pragma once
// Starting a configured game, and the picture of its tool bar button.
#include <string>

#include "platform/dialogs.h"
#include "settings/user_games.h"

class QAction;

namespace vorn {

// Starts the game without waiting for it. A game that cannot be started
// gets the message box "Error Running Game!" with the errno, the command
// line and what the errno means in words. True when it was started.
bool RunUserGame(const UserGame& game, Dialogs& dialogs);

// Where Vorn writes its DOSBox configuration for a slot: its own data
// folder, never the user's DOSBox files.
std::string DosboxConfigPath(int slot);

// The button shows the icon file when it can be loaded, otherwise its own
// picture. The file is read again only when the path changes.
void ShowGameIcon(QAction* action, const std::string& icon_path);

}  // namespace vorn
