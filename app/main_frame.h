#pragma once
// The main window: an MDI frame with the menus, the tool bar, the status
// bar and the command table. It starts and stops the core in the program's
// order and holds no protocol logic of its own.
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <string>

#include "chat/chat_windows.h"
#include "command_router.h"
#include "link_quality_window.h"
#include "node/node.h"
#include "settings/window_placement.h"
#include "transfers_window.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace vorn {

class AppPrompts;
class CChildFrame;
class ChatListWindow;
class CVorn95View;
class CoreAdapter;
class QtUiLoop;
class ViewRegistry;

struct FrameServices {
  Node& node;
  ViewRegistry& views;
  Dialogs& dialogs;
  AppPrompts& prompts;
  CoreAdapter& core;
  // Worker threads must not wait for the UI thread while it joins them.
  QtUiLoop& ui;
  Profile& profile;
};

class CMainFrame final : public QMainWindow {
  Q_OBJECT
 public:
  // The private messages and the marker they carry.
  static constexpr int kMarker = 29539;
  static constexpr int kMessageWindowReady = 2011;
  static constexpr int kBringToTop = 1669;
  static constexpr std::string_view kPlacementKey = "Vorn";

  // command_line: a server address to connect to once the message window
  // is up; empty for none.
  CMainFrame(const FrameServices& services, std::string command_line);
  ~CMainFrame() override;

  // Restores the placement, starts the core (settings with the first-run
  // check, the UDP endpoint, the driver link, the receive thread) and the
  // bar state. False ends the program; the failing part has shown its
  // message.
  bool Create();
  // Shows the window in its stored state and posts "Message Window".
  void ShowAndOpen();
  // The session ends (SIGTERM): closes like File > Exit, without asking,
  // once any open dialog has been closed.
  void EndSession();

  // Every command goes through here: it runs only when its update rule
  // leaves it enabled. True when it ran.
  bool Dispatch(CommandId id);
  CommandState QueryCommand(CommandId id) const { return router_.Query(id); }
  // Queued: dispatched when the event arrives.
  void PostCommand(CommandId id);
  void PostPrivateMessage(int message, int marker, QWidget* window = nullptr);
  // Menus and tool bar follow the update rules (also done on a timer).
  void UpdateCommandUi();

  // A new text view in its child frame: the message window while the
  // registry's creation flag is set, otherwise a chat window on key.
  CVorn95View* CreateTextView(const std::string& key);
  CVorn95View* ActiveView() const;
  // The chat list in its place, filled; closed is called as it closes.
  ChatListWindow* CreateChatList(std::function<void()> closed);
  // Opens the transfers window, or raises it when it is open.
  void OpenTransfers();
  // Null while it is closed.
  TransfersWindow* transfersWindow() const { return transfers_; }
  // Opens the link quality window, or raises it when it is open.
  void OpenLinkQuality();
  LinkQualityWindow* linkQualityWindow() const { return link_quality_; }
  QMdiArea* mdiArea() const { return mdi_; }
  QToolBar* toolBar() const { return tool_bar_; }
  QAction* action(CommandId id) const;
  QMenu* menu(const QString& name) const;
  bool firstActionsDone() const { return first_actions_done_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildActions();
  void BuildMenus();
  QMenu* AddMenu(const QString& title, std::initializer_list<std::optional<CommandId>> items);
  void BuildToolBar();
  void BuildStatusBar();
  void UpdateMenuSet();
  void UpdateGameItem(CommandId id, QAction* action, const CommandState& state);
  void FillWindowMenu();

  void RegisterCommands();
  void RegisterFileAndViewCommands();
  void RegisterServerCommands();
  void RegisterPlayerAndGameCommands();
  void RegisterWindowCommands();
  void RegisterActiveViewCommands();
  CommandState Connected() const;
  CommandState WithView(bool enabled) const;

  void OnMessageWindowReady();
  void BringToTop(QWidget* window);
  void OnSubWindowActivated(QMdiSubWindow* window);
  void OpenMessageWindow();
  void ConnectTo(const ServerEntry& entry);
  void ConnectToDefault();
  void ConnectFromList();
  bool LeaveLocalServerFirst();
  void ToggleServerMode();
  void ToggleDirectPlay();
  void AskWhoIs();
  void ArrangeIcons();
  void ShowHelp();

  bool ShutdownCore();
  void RestorePlacement();
  void SavePlacement();
  void RestoreBarState();
  void SaveBarState();
  void ShowConnectionState();

  FrameServices services_;
  std::string command_line_;
  CommandRouter router_;
  std::map<CommandId, QAction*> actions_;
  std::map<QString, QMenu*> menus_;
  QMdiArea* mdi_ = nullptr;
  QToolBar* tool_bar_ = nullptr;
  QMenu* window_list_ = nullptr;
  QLabel* connection_label_ = nullptr;
  QPointer<TransfersWindow> transfers_;
  QPointer<LinkQualityWindow> link_quality_;
  QTimer update_timer_;
  WindowPlacement stored_placement_;
  ChatInputId next_input_id_ = 1;
  bool first_actions_done_ = false;
  bool started_ = false;
  bool closed_ = false;
  bool ending_session_ = false;  // nobody is there to answer a question
  bool child_menus_ = true;
};

}  // namespace vorn
