// The command table's operations and update rules.
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>

#include "app_prompts.h"
#include "core_adapter.h"
#include "main_frame.h"
#include "platform/text.h"
#include "view_registry.h"
#include "vorn95_view.h"

namespace vorn {
namespace {

using C = CommandId;

CommandState Enabled(bool enabled) { return CommandState{enabled, false, std::nullopt}; }
CommandState Checked(bool enabled, bool checked) { return CommandState{enabled, checked, std::nullopt}; }

}  // namespace

void CMainFrame::RegisterCommands() {
  RegisterFileAndViewCommands();
  RegisterServerCommands();
  RegisterPlayerAndGameCommands();
  RegisterWindowCommands();
  RegisterActiveViewCommands();
}

CommandState CMainFrame::Connected() const { return Enabled(started_ && services_.node.connection().IsConnected()); }

CommandState CMainFrame::WithView(bool enabled) const { return Enabled(ActiveView() != nullptr && enabled); }

void CMainFrame::RegisterFileAndViewCommands() {
  router_.Register(C::Options, [this] { services_.node.settings().RunUserInfoDialog(false); });
  router_.Register(C::Exit, [this] { close(); });
  router_.Register(
      C::Toolbar, [this] { tool_bar_->setVisible(tool_bar_->isHidden()); },
      [this] { return Checked(true, !tool_bar_->isHidden()); });
  router_.Register(
      C::StatusBar, [this] { statusBar()->setVisible(statusBar()->isHidden()); },
      [this] { return Checked(true, !statusBar()->isHidden()); });
  router_.Register(C::MessageWindow, [this] { OpenMessageWindow(); });
  router_.Register(
      C::ChatWindow,
      [this] {
        services_.views.SetCreatingMessageWindow(false);
        services_.node.chat().JoinChannel("#chat");
      },
      [this] { return Connected(); });
  router_.Register(
      C::ChatList, [this] { services_.node.chat_windows().OpenChatList(); },
      [this] { return Enabled(!services_.views.chatViews().empty()); });
  router_.Register(
      C::Transfers, [this] { OpenTransfers(); }, [this] { return Enabled(started_); });
  router_.Register(
      C::LinkQuality, [this] { OpenLinkQuality(); }, [this] { return Enabled(started_); });
  router_.Register(C::Colors, [this] { services_.core.RunColorsSheet(this); });
  router_.Register(C::HelpContents, [this] { ShowHelp(); });
  router_.Register(C::About, [this] { services_.prompts.ShowAbout(); });
}

void CMainFrame::RegisterServerCommands() {
  Node& node = services_.node;
  router_.Register(
      C::ConnectDefault, [this] { ConnectToDefault(); },
      [this] { return Enabled(started_ && !services_.node.settings().settings().default_server.empty()); });
  router_.Register(
      C::Connect, [this] { ConnectFromList(); }, [this] { return Enabled(started_); });
  router_.Register(
      C::Disconnect, [&node] { node.connection().DisconnectFromServer(); }, [this] { return Connected(); });
  router_.Register(
      C::QueryAllServers, [&node] { node.connection().queries().RequestServerList(); },
      [this] { return Enabled(started_); });
  router_.Register(
      C::UpdateServerList, [&node] { node.connection().queries().UpdateServerList(); },
      [this] { return Enabled(started_ && services_.node.addresses().tracker.Load().IsSet()); });
  router_.Register(
      C::Motd, [&node] { node.connection().queries().RequestMotd(); }, [this] { return Connected(); });
  router_.Register(
      C::ServerMode, [this] { ToggleServerMode(); },
      [this] { return Checked(started_, started_ && services_.node.local_server().IsLocalServerMode()); });
}

void CMainFrame::RegisterPlayerAndGameCommands() {
  Node& node = services_.node;
  router_.Register(
      C::ListGames, [&node] { node.connection().queries().RequestPlayerList(); }, [this] { return Connected(); });
  router_.Register(
      C::ListNames, [&node] { node.connection().queries().RequestNamesList(); }, [this] { return Connected(); });
  router_.Register(
      C::WhoIs, [this] { AskWhoIs(); }, [this] { return Connected(); });
  router_.Register(
      C::DirectPlay, [this] { ToggleDirectPlay(); },
      [this] { return Checked(Connected().enabled, services_.node.direct_play().IsDirectPlayBridgeRunning()); });
  router_.Register(C::ConfigureGames, [this] { services_.core.ConfigureUserGames(this); });
  for (int slot = 1; slot <= kUserGameSlots; ++slot) {
    router_.Register(
        GameCommand(slot), [this, slot] { services_.core.RunUserGame(slot); },
        [this, slot] {
          const UserGame* game = services_.node.settings().userGame(slot);
          if (game == nullptr || !game->IsConfigured()) return Enabled(false);
          return CommandState{true, false, game->title};
        });
  }
}

void CMainFrame::RegisterWindowCommands() {
  const auto has_windows = [this] { return Enabled(!mdi_->subWindowList().isEmpty()); };
  router_.Register(
      C::Cascade, [this] { mdi_->cascadeSubWindows(); }, has_windows);
  router_.Register(
      C::Tile, [this] { mdi_->tileSubWindows(); }, has_windows);
  router_.Register(
      C::ArrangeIcons, [this] { ArrangeIcons(); }, has_windows);
  // A text view's two panes are its text and its input line.
  const auto has_view = [this] { return WithView(true); };
  router_.Register(
      C::NextPane, [this] { ActiveView()->SwitchPane(); }, has_view);
  router_.Register(
      C::PreviousPane, [this] { ActiveView()->SwitchPane(); }, has_view);
  router_.Register(
      C::CloseWindow, [this] { mdi_->closeActiveSubWindow(); },
      [this] { return Enabled(mdi_->currentSubWindow() != nullptr); });
}

void CMainFrame::RegisterActiveViewCommands() {
  router_.Register(
      C::LogToFile, [this] { ActiveView()->ToggleLogging(); },
      [this] {
        CVorn95View* view = ActiveView();
        const bool logging = view != nullptr && view->isLogging();
        return CommandState{view != nullptr, false, std::string(logging ? kStopLoggingText : kLogToFileText)};
      });
  router_.Register(
      C::Cut, [this] { ActiveView()->Cut(); }, [this] { return WithView(ActiveView() && ActiveView()->CanCut()); });
  router_.Register(
      C::Copy, [this] { ActiveView()->Copy(); }, [this] { return WithView(ActiveView() && ActiveView()->CanCopy()); });
  router_.Register(
      C::Paste, [this] { ActiveView()->Paste(); },
      [this] { return WithView(ActiveView() && ActiveView()->CanPaste()); });
  router_.Register(
      C::Undo, [this] { ActiveView()->Undo(); }, [this] { return WithView(ActiveView() && ActiveView()->CanUndo()); });
  router_.Register(
      C::Clear, [this] { ActiveView()->ClearText(); }, [this] { return WithView(true); });
  router_.Register(
      C::BackgroundColor, [this] { ActiveView()->ChooseBackgroundColor(); }, [this] { return WithView(true); });
  router_.Register(
      C::Freeze, [this] { ActiveView()->ToggleFreeze(); },
      [this] { return Checked(ActiveView() != nullptr, ActiveView() && ActiveView()->isFrozen()); });
  router_.Register(
      C::CutText, [this] { ActiveView()->ToggleWrap(); },
      [this] { return Checked(ActiveView() != nullptr, ActiveView() && ActiveView()->isWrapping()); });
}

// ---- operations ---------------------------------------------------------------

void CMainFrame::ConnectTo(const ServerEntry& entry) {
  services_.views.Append(Format("Connecting to %s at %s\r\n", entry.name.c_str(), entry.address.c_str()),
                         MessageClass::Server);
  services_.node.connection().ConnectToServer(entry);
}

void CMainFrame::ConnectToDefault() {
  if (!LeaveLocalServerFirst()) return;
  SettingsStore& settings = services_.node.settings();
  const ServerEntry* found = settings.FindServer(settings.settings().default_server, std::nullopt);
  if (found == nullptr) return;
  // A copy: connecting may merge a tracker's list into the server list.
  const ServerEntry entry = *found;
  ConnectTo(entry);
}

void CMainFrame::ConnectFromList() {
  if (!LeaveLocalServerFirst()) return;
  if (std::optional<ServerEntry> entry = services_.core.RunServerListDialog(this)) ConnectTo(*entry);
}

// The two modes exclude each other: leaving local server mode needs the
// user's word.
bool CMainFrame::LeaveLocalServerFirst() {
  LocalServer& server = services_.node.local_server();
  if (!server.IsLocalServerMode()) return true;
  if (!services_.prompts.AskOkCancel("Running as Local Server",
                                     "You are currently running in local server mode!  Do you wish to terminate local "
                                     "server mode and connect to a new server?")) {
    return false;
  }
  server.StopLocalServer();
  return true;
}

void CMainFrame::ToggleServerMode() {
  LocalServer& server = services_.node.local_server();
  if (server.IsLocalServerMode()) {
    server.StopLocalServer();
    return;
  }
  if (services_.node.connection().IsConnected() &&
      !services_.prompts.AskOkCancel("Already Connected",
                                     "You are already connected to a server!  Do you wish to terminate this connection "
                                     "and continue to start local server mode?")) {
    return;
  }
  server.StartLocalServer();
}

void CMainFrame::ToggleDirectPlay() {
  DirectPlayBridge& bridge = services_.node.direct_play();
  if (bridge.IsDirectPlayBridgeRunning()) {
    bridge.StopDirectPlayBridge();
  } else {
    bridge.StartDirectPlayBridge();
  }
}

void CMainFrame::AskWhoIs() {
  if (std::optional<std::string> name = services_.prompts.AskWhoIs()) {
    services_.node.connection().queries().RequestPlayerInfo(*name);
  }
}

// Minimised windows in a row along the bottom of the MDI area.
void CMainFrame::ArrangeIcons() {
  int x = 0;
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    if (!window->isMinimized()) continue;
    window->move(x, mdi_->viewport()->height() - window->height());
    x += window->width();
  }
}

void CMainFrame::ShowHelp() {
  QMessageBox::information(
      this, tr("Vorn Help"),
      tr("Server > Connect chooses a server from the list; Connect To Default joins the default server.\n"
         "Server > Start Server Mode makes this machine the server of its own virtual sub-net.\n"
         "Player lists who plays on the server; File > Options changes your name and network options.\n"
         "File > Log to File writes the active window's text to a file."));
}

}  // namespace vorn
