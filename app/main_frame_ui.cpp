// The main frame's menus, tool bar and status bar, and how they follow the
// commands' update rules.
#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <array>

#include "artwork.h"
#include "game_launcher.h"
#include "lock_keys.h"
#include "main_frame.h"
#include "platform/peer_address.h"
#include "text_convert.h"
#include "view_registry.h"
#include "vorn95_view.h"

namespace vorn {
namespace {

using C = CommandId;

// Tool tips show at most this many characters.
constexpr int kMaxToolTip = 79;

bool IsCheckable(CommandId id) {
  return id == C::ServerMode || id == C::DirectPlay || id == C::Toolbar || id == C::StatusBar || id == C::Freeze ||
         id == C::CutText;
}

// The menu text without its "\tkeys" part: Qt shows the shortcut itself.
QString MenuText(std::string_view text) { return DecodeText(text.substr(0, text.find('\t'))); }

QList<QKeySequence> Keys(std::string_view keys) {
  QList<QKeySequence> sequences;
  for (const QString& key : DecodeText(keys).split(QLatin1Char(';'), Qt::SkipEmptyParts))
    sequences << QKeySequence(key);
  return sequences;
}

struct CommandImage {
  CommandId command;
  ToolImage image;
};

constexpr std::array<CommandImage, kToolImageCount> kCommandImages{{
    {C::Copy, ToolImage::Copy},
    {C::Clear, ToolImage::Clear},
    {C::ConnectDefault, ToolImage::ConnectDefault},
    {C::Connect, ToolImage::Connect},
    {C::ServerMode, ToolImage::ServerMode},
    {C::Disconnect, ToolImage::Disconnect},
    {C::QueryAllServers, ToolImage::QueryAllServers},
    {C::ListNames, ToolImage::ListNames},
    {C::ListGames, ToolImage::ListGames},
    {C::MessageWindow, ToolImage::MessageWindow},
    {C::ChatWindow, ToolImage::ChatWindow},
    {C::ChatList, ToolImage::ChatList},
    {C::DirectPlay, ToolImage::DirectPlay},
    {C::Freeze, ToolImage::Freeze},
    {C::CutText, ToolImage::CutText},
    {C::Game1, ToolImage::Game1},
    {C::Game2, ToolImage::Game2},
    {C::Game3, ToolImage::Game3},
    {C::Game4, ToolImage::Game4},
    {C::Game5, ToolImage::Game5},
}};

std::optional<ToolImage> ImageOf(CommandId id) {
  for (const CommandImage& entry : kCommandImages) {
    if (entry.command == id) return entry.image;
  }
  return std::nullopt;
}

}  // namespace

void CMainFrame::BuildActions() {
  const QImage strip = DrawToolStrip();
  for (const CommandInfo& info : CommandTable()) {
    auto* action = new QAction(MenuText(info.text), this);
    action->setShortcuts(Keys(info.keys));
    action->setStatusTip(DecodeText(info.prompt));
    if (!info.tooltip.empty()) action->setToolTip(DecodeText(info.tooltip));
    action->setCheckable(IsCheckable(info.id));
    if (std::optional<ToolImage> image = ImageOf(info.id)) {
      action->setIcon(QIcon(QPixmap::fromImage(ToolImageFrom(strip, *image))));
      action->setIconVisibleInMenu(false);
    }
    const CommandId id = info.id;
    connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
    // Keys work whichever menus are shown.
    addAction(action);
    actions_[id] = action;
  }
}

QMenu* CMainFrame::AddMenu(const QString& title, std::initializer_list<std::optional<CommandId>> items) {
  QMenu* menu = menuBar()->addMenu(title);
  for (const std::optional<CommandId>& item : items) {
    if (item) {
      menu->addAction(actions_.at(*item));
    } else {
      menu->addSeparator();
    }
  }
  connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
  menus_[QString(title).remove(QLatin1Char('&'))] = menu;
  return menu;
}

void CMainFrame::BuildMenus() {
  using Items = std::initializer_list<std::optional<CommandId>>;
  AddMenu(tr("&File"), Items{C::Options, C::LogToFile, std::nullopt, C::Exit});
  AddMenu(tr("&Edit"), Items{C::Undo, std::nullopt, C::Cut, C::Copy, C::Paste, C::Clear});
  AddMenu(tr("&Server"), Items{C::ConnectDefault, C::Connect, C::Disconnect, std::nullopt, C::QueryAllServers,
                               C::UpdateServerList, C::Motd, std::nullopt, C::ServerMode});
  AddMenu(tr("&Player"), Items{C::ListGames, C::ListNames, C::WhoIs});
  AddMenu(tr("&Game"),
          Items{C::DirectPlay, C::ConfigureGames, std::nullopt, C::Game1, C::Game2, C::Game3, C::Game4, C::Game5});
  AddMenu(tr("&View"), Items{C::Toolbar, C::StatusBar, std::nullopt, C::MessageWindow, C::ChatWindow, C::ChatList,
                             C::Transfers, C::LinkQuality, std::nullopt, C::BackgroundColor, C::Colors, C::CutText});
  QMenu* window = AddMenu(tr("&Window"), Items{C::Cascade, C::Tile, C::ArrangeIcons, std::nullopt, C::Freeze,
                                               C::CloseWindow, std::nullopt});
  window_list_ = window;
  connect(window, &QMenu::aboutToShow, this, &CMainFrame::FillWindowMenu);
  AddMenu(tr("&Help"), Items{C::HelpContents, std::nullopt, C::About});
  UpdateMenuSet();
}

void CMainFrame::BuildToolBar() {
  tool_bar_ = new QToolBar(tr("Toolbar"), this);
  tool_bar_->setObjectName(QStringLiteral("Toolbar"));
  tool_bar_->setIconSize(QSize(kToolImageSize, kToolImageSize));
  tool_bar_->setAllowedAreas(Qt::AllToolBarAreas);
  tool_bar_->setMovable(true);
  tool_bar_->setFloatable(true);
  for (const ToolBarItem& item : ToolBarLayout()) {
    if (item.command) {
      tool_bar_->addAction(actions_.at(*item.command));
    } else {
      tool_bar_->addSeparator();
    }
  }
  addToolBar(Qt::TopToolBarArea, tool_bar_);
}

void CMainFrame::BuildStatusBar() {
  connection_label_ = new QLabel(statusBar());
  connection_label_->setObjectName(QStringLiteral("connection"));
  statusBar()->addPermanentWidget(connection_label_);
  statusBar()->addPermanentWidget(new LockIndicators(statusBar()));
  statusBar()->showMessage(tr("Ready"));
}

QAction* CMainFrame::action(CommandId id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

QMenu* CMainFrame::menu(const QString& name) const {
  auto it = menus_.find(name);
  return it == menus_.end() ? nullptr : it->second;
}

// Without a child window the frame's own menu is shown: no Edit, Game or
// Window menu, and no items of View that act on a text window.
void CMainFrame::UpdateMenuSet() {
  const bool child_open = !mdi_->subWindowList().isEmpty();
  if (child_open == child_menus_) return;
  child_menus_ = child_open;
  for (const char* name : {"Edit", "Game", "Window"})
    menus_.at(QString::fromLatin1(name))->menuAction()->setVisible(child_open);
  for (CommandId id : {C::BackgroundColor, C::Colors, C::CutText}) actions_.at(id)->setVisible(child_open);
}

// The status bar and the title say whether and where this program is
// connected.
void CMainFrame::ShowConnectionState() {
  const PeerAddress server = services_.node.addresses().server.Load();
  const bool connected = started_ && !closed_ && server.IsSet();
  const QString state =
      connected ? tr("Connected to %1").arg(QString::fromStdString(FormatPeer(server))) : tr("Not connected");
  if (connection_label_->text() == state) return;
  connection_label_->setText(state);
  setWindowTitle(QStringLiteral("Vorn95 - %1").arg(state));
}

void CMainFrame::UpdateCommandUi() {
  ShowConnectionState();
  // Chat windows that a connection's end left open wait, greyed, for the next.
  const bool offline = !Connected().enabled;
  for (CVorn95View* view : services_.views.chatViews()) view->SetOffline(offline);
  UpdateMenuSet();
  for (const auto& [id, action] : actions_) {
    const CommandState state = router_.Query(id);
    action->setEnabled(state.enabled);
    if (action->isCheckable()) action->setChecked(state.checked);
    if (GameSlotOf(id)) {
      UpdateGameItem(id, action, state);
    } else if (state.text) {
      action->setText(DecodeText(*state.text));
    }
  }
}

// A configured game shows its title in the menu and as its tool tip, and
// its icon file on its button.
void CMainFrame::UpdateGameItem(CommandId id, QAction* action, const CommandState& state) {
  const CommandInfo* info = FindCommand(id);
  const UserGame* game = services_.node.settings().userGame(*GameSlotOf(id));
  ShowGameIcon(action, game != nullptr && game->IsConfigured() ? game->icon : std::string());
  if (!state.text) {
    action->setText(MenuText(info->text));
    action->setToolTip(DecodeText(info->tooltip));
    return;
  }
  action->setText(QStringLiteral("&%1. %2").arg(*GameSlotOf(id)).arg(DecodeText(*state.text)));
  action->setToolTip(DecodeText(*state.text).left(kMaxToolTip));
}

// The framework's list of open windows at the end of the Window menu.
void CMainFrame::FillWindowMenu() {
  for (QAction* action : window_list_->actions()) {
    if (!action->data().toBool()) continue;
    window_list_->removeAction(action);
    action->deleteLater();
  }
  int number = 1;
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    QAction* item = window_list_->addAction(QStringLiteral("&%1 %2").arg(number++).arg(window->windowTitle()));
    item->setData(true);
    item->setCheckable(true);
    item->setChecked(window == mdi_->currentSubWindow());
    connect(item, &QAction::triggered, this, [this, window = QPointer<QMdiSubWindow>(window)] {
      if (window) BringToTop(window);
    });
  }
}

}  // namespace vorn
