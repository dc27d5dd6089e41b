#pragma once
// Every user command with its resource id, its menu text, keys, status-bar
// prompt and tool tip. Which commands are enabled, and what they do, is
// decided by the main frame and the active text view.
#include <array>
#include <optional>
#include <string_view>

namespace vorn {

enum class CommandId : int {
  Options = 32780,
  LogToFile = 32774,
  Exit = 57665,
  Cut = 57635,
  Copy = 57634,
  Paste = 57637,
  Clear = 57632,
  ConnectDefault = 32781,
  Connect = 32771,
  Disconnect = 32772,
  QueryAllServers = 32782,
  UpdateServerList = 32807,
  Motd = 32773,
  ServerMode = 32805,
  ListGames = 32775,
  ListNames = 32776,
  WhoIs = 32777,
  DirectPlay = 32788,
  ConfigureGames = 32795,
  Game1 = 32790,
  Game2 = 32791,
  Game3 = 32792,
  Game4 = 32793,
  Game5 = 32794,
  MessageWindow = 32778,
  ChatWindow = 32783,
  ChatList = 32784,
  BackgroundColor = 32806,
  Colors = 32804,
  CutText = 32785,
  Toolbar = 59392,
  StatusBar = 59393,
  Cascade = 57650,
  Tile = 57651,
  ArrangeIcons = 57649,
  Freeze = 32786,
  HelpContents = 57670,
  About = 57664,
  Undo = 57643,
  NextPane = 57680,
  PreviousPane = 57681,
  CloseWindow = 57602,
  Transfers = 32808,
  LinkQuality = 32809,
};

struct CommandInfo {
  CommandId id;
  std::string_view text;     // menu text with its '&' mnemonic
  std::string_view keys;     // key sequences separated by ';'
  std::string_view prompt;   // status bar
  std::string_view tooltip;  // tool bar; empty for commands not on it
};

inline constexpr int kCommandCount = 44;

const std::array<CommandInfo, kCommandCount>& CommandTable();
const CommandInfo* FindCommand(CommandId id);
// The command of game slot 1 to 5.
CommandId GameCommand(int slot);
// The slot of a game command, or nullopt.
std::optional<int> GameSlotOf(CommandId id);

// The log command's text while not logging (string 132) and while logging
// (string 133).
inline constexpr std::string_view kLogToFileText = "&Log to File...";
inline constexpr std::string_view kStopLoggingText = "Stop &Logging";

// A tool bar item: a command, or a separator when empty.
struct ToolBarItem {
  std::optional<CommandId> command;
};
inline constexpr int kToolBarItemCount = 27;
const std::array<ToolBarItem, kToolBarItemCount>& ToolBarLayout();

}  // namespace vorn
