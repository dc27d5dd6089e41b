#include "core_adapter.h"

namespace vorn {

// NOT WIRED: the server list dialog, the colour settings sheet and the game
// launcher are not built yet.
std::optional<ServerEntry> CoreAdapter::RunServerListDialog(QWidget*) { return std::nullopt; }
void CoreAdapter::RunColorsSheet(QWidget*) {}
void CoreAdapter::ConfigureUserGames(QWidget*) {}
void CoreAdapter::RunUserGame(int) {}

}  // namespace vorn
