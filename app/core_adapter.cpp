#include "core_adapter.h"

namespace vorn {

// Not built yet; each moves to the file of its dialog when it is.
std::optional<ServerEntry> CoreAdapter::RunServerListDialog(QWidget*) { return std::nullopt; }
void CoreAdapter::RunColorsSheet(QWidget*) {}
void CoreAdapter::ConfigureUserGames(QWidget*) {}
void CoreAdapter::RunUserGame(int) {}

}  // namespace vorn
