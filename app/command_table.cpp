#include "command_table.h"

namespace vorn {
namespace {

using C = CommandId;

constexpr std::array<CommandInfo, kCommandCount> kCommands{{
    {C::Options, "&Options...", "", "Change your user information and network options", ""},
    {C::LogToFile, kLogToFileText, "", "Log the text of the active window to a file", ""},
    {C::Exit, "E&xit", "", "Quit the application; asks first while connected", ""},
    {C::Cut, "Cu&t\tCtrl+X", "Ctrl+X;Shift+Del", "Cut the selection of the input line", ""},
    {C::Copy, "&Copy\tCtrl+C", "Ctrl+C;Ctrl+Ins", "Copy the selection to the clipboard", "Copy"},
    {C::Paste, "&Paste\tCtrl+V", "Ctrl+V;Shift+Ins", "Paste the clipboard into the input line", ""},
    {C::Clear, "C&lear\tCtrl+Del", "Ctrl+Del", "Clear the window's text", "Clear window"},
    {C::ConnectDefault, "Connect To &Default\tAlt+C", "Alt+C", "Connect to the default server",
     "Connect to default server"},
    {C::Connect, "&Connect\tAlt+O", "Alt+O", "Choose a server and connect to it", "Connect"},
    {C::Disconnect, "&Disconnect\tAlt+D", "Alt+D", "Leave the server", "Disconnect"},
    {C::QueryAllServers, "&Query All Servers", "", "Ask the tracker for the active servers", "Query all servers"},
    {C::UpdateServerList, "&Update Server list", "", "Fill the server list from the tracker", ""},
    {C::Motd, "&Message of the Day", "", "Show the server's message of the day", ""},
    {C::ServerMode, "&Start Server Mode", "", "Serve a virtual sub-net from this machine", "Local server mode"},
    {C::ListGames, "List &Games", "", "List the players on the server and their games", "List games"},
    {C::ListNames, "List &Names", "", "List the names and e-mail addresses on the server", "List names"},
    {C::WhoIs, "&Who Is...", "", "Show information about one player", ""},
    {C::DirectPlay, "&Direct Play", "", "Carry DirectPlay games over the connection", "DirectPlay bridge"},
    {C::ConfigureGames, "&Configure Menu...", "", "Configure the games of this menu", ""},
    {C::Game1, "&1. Game 1", "", "Start game 1", "Game 1"},
    {C::Game2, "&2. Game 2", "", "Start game 2", "Game 2"},
    {C::Game3, "&3. Game 3", "", "Start game 3", "Game 3"},
    {C::Game4, "&4. Game 4", "", "Start game 4", "Game 4"},
    {C::Game5, "&5. Game 5", "", "Start game 5", "Game 5"},
    {C::MessageWindow, "&Message Window\tCtrl+M", "Ctrl+M", "Open the message window", "Message window"},
    {C::ChatWindow, "&Chat Window\tCtrl+T", "Ctrl+T", "Join the chat channel #chat", "Chat window"},
    {C::ChatList, "Chat &List\tCtrl+L", "Ctrl+L", "Show who is in which channel", "Chat list"},
    {C::BackgroundColor, "&Background Color...", "", "Change the background color of this window", ""},
    {C::Colors, "C&olors...", "", "Change the message and nickname colors", ""},
    {C::CutText, "Cut &Text\tCtrl+W", "Ctrl+W", "Wrap long lines at the window's edge", "Wrap lines"},
    {C::Toolbar, "&Toolbar", "", "Show or hide the tool bar", ""},
    {C::StatusBar, "&Status Bar", "", "Show or hide the status bar", ""},
    {C::Cascade, "&Cascade", "", "Arrange the windows so they overlap", ""},
    {C::Tile, "&Tile", "", "Arrange the windows side by side", ""},
    {C::ArrangeIcons, "&Arrange Icons", "", "Arrange the minimised windows", ""},
    {C::Freeze, "&Freeze", "", "Stop scrolling the active window", "Freeze"},
    {C::HelpContents, "&Help Topics", "", "Show what the program's commands do", ""},
    {C::About, "&About vorn95...", "", "Show the program's version", ""},
    {C::Undo, "&Undo", "Alt+Backspace;Ctrl+Z", "Undo the last edit of the input line", ""},
    {C::NextPane, "Next Pane", "F6", "Move between the text and the input line", ""},
    {C::PreviousPane, "Previous Pane", "Shift+F6", "Move between the text and the input line", ""},
    {C::CloseWindow, "&Close Window", "Alt+X", "Close the active window", ""},
    {C::Transfers, "T&ransfers", "", "Show the files being sent and received", ""},
    {C::LinkQuality, "Lin&k Quality", "", "Show round trip, jitter and loss toward each player", ""},
}};

constexpr std::array<ToolBarItem, kToolBarItemCount> kToolBar{{
    {C::Copy},
    {C::Clear},
    {},
    {C::ConnectDefault},
    {C::Connect},
    {C::ServerMode},
    {C::Disconnect},
    {},
    {C::QueryAllServers},
    {C::ListNames},
    {},
    {C::ListGames},
    {},
    {C::MessageWindow},
    {C::ChatWindow},
    {C::ChatList},
    {},
    {C::DirectPlay},
    {},
    {C::Freeze},
    {C::CutText},
    {},
    {C::Game1},
    {C::Game2},
    {C::Game3},
    {C::Game4},
    {C::Game5},
}};

}  // namespace

const std::array<CommandInfo, kCommandCount>& CommandTable() { return kCommands; }

const CommandInfo* FindCommand(CommandId id) {
  for (const CommandInfo& info : kCommands) {
    if (info.id == id) return &info;
  }
  return nullptr;
}

const std::array<ToolBarItem, kToolBarItemCount>& ToolBarLayout() { return kToolBar; }

CommandId GameCommand(int slot) { return static_cast<CommandId>(static_cast<int>(CommandId::Game1) + slot - 1); }

std::optional<int> GameSlotOf(CommandId id) {
  const int slot = static_cast<int>(id) - static_cast<int>(CommandId::Game1) + 1;
  if (slot < 1 || slot > 5) return std::nullopt;
  return slot;
}

}  // namespace vorn
