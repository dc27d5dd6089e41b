#pragma once
// The parts of the shell that the commands call into: the server list
// dialog, the colour settings sheet and the game launcher. Each member is
// defined in the file of its dialog, so each dialog can grow on its own.
#include <QWidget>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dialogs.h"
#include "settings/server_list.h"
#include "settings/user_games.h"

namespace vorn {

class AppPrompts;
class DosboxDriver;
class Node;

class CoreAdapter {
 public:
  CoreAdapter(Node& node, Dialogs& dialogs, AppPrompts& prompts) : node_(node), dialogs_(dialogs), prompts_(prompts) {}

  // The server list dialog: the chosen entry when it closed with OK.
  std::optional<ServerEntry> RunServerListDialog(QWidget* parent);
  // nickname: the one to show on the nickname page; empty for none.
  void RunColorsSheet(QWidget* parent, std::string_view nickname = {});
  void ConfigureUserGames(QWidget* parent);
  void RunUserGame(int slot);
  // The driver DOSBox games connect to; null with the reason when there is none.
  void SetDosbox(const DosboxDriver* driver, std::string off_reason) {
    dosbox_ = driver;
    dosbox_off_reason_ = std::move(off_reason);
  }

 private:
  // Start a DOSBox game once the node is connected: empty, or why not.
  std::string StartDosboxGame(int slot, const UserGame& game);
  std::string ConnectForDosbox();

  Node& node_;
  Dialogs& dialogs_;
  AppPrompts& prompts_;
  // The server list dialog's IP# text, kept for the whole run.
  std::string last_server_address_;
  const DosboxDriver* dosbox_ = nullptr;
  std::string dosbox_off_reason_;
};

}  // namespace vorn
