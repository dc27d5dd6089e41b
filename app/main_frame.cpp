#include "main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "artwork.h"
#include "chat_list_window.h"
#include "child_frame.h"
#include "core_adapter.h"
#include "qt_ui_loop.h"
#include "view_registry.h"
#include "vorn95_view.h"

namespace vorn {
namespace {

constexpr int kUpdateUiMs = 250;
// Until a placement has been saved.
constexpr QSize kDefaultFrameSize{960, 680};
constexpr std::string_view kBarsSection = "Windows";
constexpr std::string_view kBarsKey = "Bars";
constexpr std::string_view kStatusBarKey = "Status Bar";

const QEvent::Type kCommandEvent = static_cast<QEvent::Type>(QEvent::User + 1);
const QEvent::Type kPrivateMessageEvent = static_cast<QEvent::Type>(QEvent::User + 2);

class CommandEvent final : public QEvent {
 public:
  explicit CommandEvent(CommandId command) : QEvent(kCommandEvent), id(command) {}
  CommandId id;
};

// A private window message: its number, the marker and an optional window.
class PrivateMessageEvent final : public QEvent {
 public:
  PrivateMessageEvent(int number, int marker_value, QWidget* target)
      : QEvent(kPrivateMessageEvent), message(number), marker(marker_value), window(target) {}
  int message;
  int marker;
  QPointer<QWidget> window;
};

}  // namespace

CMainFrame::CMainFrame(const FrameServices& services, std::string command_line)
    : services_(services), command_line_(std::move(command_line)), mdi_(new QMdiArea(this)) {
  setObjectName(QStringLiteral("Vorn95Class"));
  setWindowTitle(QStringLiteral("Vorn95"));
  setWindowIcon(AppIcon());
  mdi_->setBackground(QBrush(DrawBackgroundTile()));
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  // Within the screen's free area, whatever its size and scaling.
  if (const QScreen* shown_on = screen()) {
    resize(kDefaultFrameSize.boundedTo(shown_on->availableGeometry().size()));
  } else {
    resize(kDefaultFrameSize);
  }
  connect(mdi_, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);
  BuildActions();
  RegisterCommands();
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  connect(&update_timer_, &QTimer::timeout, this, &CMainFrame::UpdateCommandUi);
  update_timer_.start(kUpdateUiMs);
  services_.views.SetOnLastChatViewClosed([this] {
    if (started_ && !closed_) services_.node.chat().LeaveChatMode();
  });
}

// A frame that is destroyed without having been closed still stops the
// core in order.
CMainFrame::~CMainFrame() {
  update_timer_.stop();
  // The MDI area outlives this destructor and reports its windows' going.
  disconnect(mdi_, nullptr, this, nullptr);
  services_.views.SetOnLastChatViewClosed({});
  if (!closed_) ShutdownCore();
  // The views call back into this frame as they go: they go while it is
  // still whole.
  delete takeCentralWidget();
  mdi_ = nullptr;
}

bool CMainFrame::Create() {
  RestorePlacement();
  if (!services_.node.Start()) return false;
  started_ = true;
  RestoreBarState();
  UpdateCommandUi();
  return true;
}

void CMainFrame::ShowAndOpen() {
  if (stored_placement_.show == WindowPlacement::kMaximised) {
    showMaximized();
  } else if (stored_placement_.show == WindowPlacement::kMinimised) {
    showMinimized();
  } else {
    show();
  }
  PostCommand(CommandId::MessageWindow);
}

// ---- commands and private messages ------------------------------------------

// A command that joins a worker thread (leaving a server stops the
// DirectPlay bridge) needs nothing here: the join itself holds a
// JoiningWorkers, which the UI loop answers by releasing waiting workers.
bool CMainFrame::Dispatch(CommandId id) {
  const bool ran = router_.Execute(id);
  if (ran && !closed_) UpdateCommandUi();
  return ran;
}

void CMainFrame::PostCommand(CommandId id) { QCoreApplication::postEvent(this, new CommandEvent(id)); }

void CMainFrame::PostPrivateMessage(int message, int marker, QWidget* window) {
  QCoreApplication::postEvent(this, new PrivateMessageEvent(message, marker, window));
}

bool CMainFrame::event(QEvent* event) {
  if (event->type() == kCommandEvent) {
    Dispatch(static_cast<CommandEvent*>(event)->id);
    return true;
  }
  if (event->type() != kPrivateMessageEvent) return QMainWindow::event(event);
  const auto* message = static_cast<PrivateMessageEvent*>(event);
  if (message->marker != kMarker) return true;
  if (message->message == kMessageWindowReady) OnMessageWindowReady();
  if (message->message == kBringToTop && !message->window.isNull()) BringToTop(message->window.data());
  return true;
}

// Once per process, even when the message window is opened again.
void CMainFrame::OnMessageWindowReady() {
  if (first_actions_done_ || closed_) return;
  first_actions_done_ = true;
  Connection& connection = services_.node.connection();
  if (services_.node.addresses().proxy.Load().IsSet()) connection.ConnectToProxy();
  if (!command_line_.empty()) connection.ConnectByName(std::nullopt, command_line_);
  // The store keeps its flag; this frame acts on it once.
  if (services_.node.settings().settings().server_list_from_built_in) PostCommand(CommandId::UpdateServerList);
}

void CMainFrame::BringToTop(QWidget* window) {
  auto* frame = qobject_cast<QMdiSubWindow*>(window);
  if (frame == nullptr && window->parentWidget() != nullptr)
    frame = qobject_cast<QMdiSubWindow*>(window->parentWidget());
  if (frame == nullptr) {
    window->raise();
    return;
  }
  if (frame->isMinimized()) frame->showNormal();
  mdi_->setActiveSubWindow(frame);
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* window) {
  auto* frame = qobject_cast<CChildFrame*>(window);
  if (frame == nullptr) return;
  CVorn95View* view = frame->view();
  services_.views.SetLastActive(view);
  // Acknowledgements and answers carry the channel of the window in front.
  if (view != nullptr && !view->isMessageWindow() && started_ && !closed_) {
    services_.node.chat().SetCurrentChannel(view->windowKey());
  }
}

// ---- text views ---------------------------------------------------------------

CVorn95View* CMainFrame::CreateTextView(const std::string& key) {
  ViewServices view_services{services_.views, services_.profile, services_.prompts};
  view_services.own_ip = [this] { return services_.node.LocalAddress().ip; };
  view_services.message_window_ready = [this] { PostPrivateMessage(kMessageWindowReady, kMarker); };
  view_services.execute_line = [this](const std::string& line, ChatInputId input) {
    if (started_ && !closed_) services_.node.chat().ExecuteChatLine(line, input);
  };
  view_services.correspondents = [this] { return services_.node.chat().MsgCompletionList(); };
  view_services.users = [this] {
    std::vector<std::string> users;
    for (const ChatListPeer& peer : services_.node.chat().ChatListPeers()) users.push_back(peer.nickname);
    return users;
  };
  view_services.beep = [this] { services_.dialogs.Beep(); };
  view_services.timestamps = [this] { return services_.node.settings().settings().timestamps; };
  auto* view = new CVorn95View(view_services, key, next_input_id_++);
  connect(view, &QObject::destroyed, this, [this, window_key = view->windowKey()] {
    if (started_ && !closed_) services_.node.chat().LeaveCurrentChannel(window_key);
  });
  auto* frame = new CChildFrame(view, services_.profile);
  mdi_->addSubWindow(frame);
  frame->ShowAtStoredPlacement();
  mdi_->setActiveSubWindow(frame);
  view->FinishCreation();
  return view;
}

void CMainFrame::OpenMessageWindow() {
  if (CVorn95View* view = services_.views.messageView()) {
    BringToTop(view->parentWidget());
    return;
  }
  services_.views.SetCreatingMessageWindow(true);
  CreateTextView("");
  services_.views.SetCreatingMessageWindow(false);
}

ChatListWindow* CMainFrame::CreateChatList(std::function<void()> closed) {
  Node& node = services_.node;
  ChatListServices list{services_.profile};
  list.peers = [&node] { return node.chat().ChatListPeers(); };
  // The list has no window to show a ping's errors in.
  list.ping = [&node](const std::string& nickname) { node.chat().PingUser(nickname, std::nullopt); };
  list.who_is = [&node](const std::string& nickname) { node.connection().queries().RequestPlayerInfo(nickname); };
  list.colour = [this](const std::string& nickname) { services_.core.RunColorsSheet(this, nickname); };
  list.join = [this](const std::string& channel) {
    services_.views.SetCreatingMessageWindow(false);
    services_.node.chat().JoinChannel(channel);
  };
  list.closed = std::move(closed);
  auto* window = new ChatListWindow(std::move(list));
  mdi_->addSubWindow(window);
  window->ShowAtStoredPlacement();
  window->Refresh();
  return window;
}

void CMainFrame::OpenTransfers() {
  if (!transfers_.isNull()) return BringToTop(transfers_);
  Node& node = services_.node;
  TransfersServices services{services_.profile};
  services.transfers = [&node] { return node.chat().Transfers(); };
  services.cancel_download = [&node] { node.chat().CancelDownload(); };
  transfers_ = new TransfersWindow(std::move(services));
  mdi_->addSubWindow(transfers_);
  transfers_->ShowAtStoredPlacement();
}

// A link is named by the player at its address: the host knows its table,
// everyone knows the chat users.
void CMainFrame::OpenLinkQuality() {
  if (!link_quality_.isNull()) return BringToTop(link_quality_);
  Node& node = services_.node;
  LinkQualityServices services{services_.profile};
  services.reports = [&node] { return node.links().Reports(); };
  services.name = [&node](PeerAddress peer) {
    for (const ClientEntry& entry : node.local_server().table().Snapshot())
      if (entry.InUse() && entry.address == peer) return std::string(entry.Nickname());
    for (const ChatListPeer& user : node.chat().ChatListPeers())
      if (user.address == peer) return user.nickname;
    return std::string();
  };
  link_quality_ = new LinkQualityWindow(std::move(services));
  mdi_->addSubWindow(link_quality_);
  link_quality_->ShowAtStoredPlacement();
  link_quality_->Refresh();
}

CVorn95View* CMainFrame::ActiveView() const {
  auto* frame = qobject_cast<CChildFrame*>(mdi_->currentSubWindow());
  return frame != nullptr ? frame->view() : nullptr;
}

// ---- shutdown -------------------------------------------------------------------

void CMainFrame::EndSession() {
  if (ending_session_) return;
  ending_session_ = true;
  // Bounded: a dialog that refuses to close leaves the rest open.
  for (int i = 0; i < 8 && QApplication::activeModalWidget() != nullptr; ++i)
    QApplication::activeModalWidget()->close();
  // After the closed dialogs' own loops have returned.
  QTimer::singleShot(0, this, [this] { close(); });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  if (started_ && !ending_session_ && services_.node.connection().IsConnected() &&
      !services_.dialogs.AskYesNo("Still Connected",
                                  "You are connected to a server.  Are you sure you want to exit?")) {
    event->ignore();
    return;
  }
  ShutdownCore();
  SaveBarState();
  SavePlacement();
  // Each view saves its own placement as it closes.
  mdi_->closeAllSubWindows();
  event->accept();
}

// Returns false when the core had not been started.
bool CMainFrame::ShutdownCore() {
  closed_ = true;
  update_timer_.stop();
  if (!started_) {
    services_.ui.StopDelivering();
    return false;
  }
  services_.node.chat().LeaveChatMode();
  services_.node.connection().DisconnectFromServer();
  // A worker thread blocked in a synchronous append must not wait for a UI
  // thread that is about to join it.
  services_.ui.StopDelivering();
  services_.node.Shutdown();
  return true;
}

void CMainFrame::RestorePlacement() {
  if (!RestoreWindowPlacement(services_.profile, kPlacementKey, stored_placement_)) return;
  if (stored_placement_.normal.IsEmpty()) return;
  const QRect stored = FromWindowRect(stored_placement_.normal);
  const QScreen* shown_on = QGuiApplication::screenAt(stored.center());
  if (shown_on == nullptr) shown_on = screen();
  setGeometry(shown_on != nullptr ? KeepInside(stored, shown_on->availableGeometry()) : stored);
}

void CMainFrame::SavePlacement() {
  WindowPlacement current;
  current.normal = ToWindowRect(normalGeometry().isValid() ? normalGeometry() : geometry());
  current.show = isMinimized()   ? WindowPlacement::kMinimised
                 : isMaximized() ? WindowPlacement::kMaximised
                                 : WindowPlacement::kNormal;
  SaveWindowPlacement(services_.profile, kPlacementKey, current, stored_placement_);
}

void CMainFrame::RestoreBarState() {
  const std::string bars = services_.profile.GetString(kBarsSection, kBarsKey, "");
  if (!bars.empty()) restoreState(QByteArray::fromBase64(QByteArray::fromStdString(bars)));
  statusBar()->setVisible(services_.profile.GetInt(kBarsSection, kStatusBarKey, 1) != 0);
}

void CMainFrame::SaveBarState() {
  services_.profile.WriteString(kBarsSection, kBarsKey, saveState().toBase64().toStdString());
  services_.profile.WriteInt(kBarsSection, kStatusBarKey, statusBar()->isHidden() ? 0 : 1);
}

}  // namespace vorn
