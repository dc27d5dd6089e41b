#pragma once
// The parts of the shell that the commands call but that are not built yet:
// the server list dialog, the colour settings sheet and the game launcher.
// Each one marked NOT WIRED does nothing (or chooses nothing) until it is
// built; then only this file changes.
#include <QWidget>
#include <optional>

#include "settings/server_list.h"

namespace vorn {

class CoreAdapter {
 public:
  // The server list dialog: the chosen entry when it closed with OK.
  std::optional<ServerEntry> RunServerListDialog(QWidget* parent);  // NOT WIRED: nullopt
  void RunColorsSheet(QWidget* parent);                             // NOT WIRED
  void ConfigureUserGames(QWidget* parent);                         // NOT WIRED
  void RunUserGame(int slot);                                       // NOT WIRED
};

}  // namespace vorn
