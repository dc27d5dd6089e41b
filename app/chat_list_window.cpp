#include "chat_list_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

#include "text_convert.h"

namespace vorn {
namespace {

// The controls' font, small as dialog fonts are, so that the buttons of a
// narrow list fit side by side.
constexpr int kControlPointSize = 8;
// A button's frame around its caption.
constexpr int kButtonPaddingPx = 10;

constexpr const char* kPingCaption = "Ping";
constexpr const char* kWhoIsCaption = "Who is this";
constexpr const char* kRefreshCaption = "&Refresh";
constexpr const char* kJoinCaption = "Join Channel";
constexpr const char* kColorCaption = "Color";

std::string CutAtTab(const QString& line) {
  const std::string text = EncodeText(line);
  return text.substr(0, text.find('\t'));
}

}  // namespace

ChatListGeometry LayOutChatList(QSize client, int char_width, int char_height,
                                const std::function<int(std::string_view caption)>& measure) {
  const auto caption_width = [&](std::string_view caption, int cw) {
    const int by_count = static_cast<int>(caption.size()) * cw;
    return measure ? std::max(by_count, measure(caption)) : by_count;
  };
  const int width = client.width();
  const int height = client.height();
  const int quarter = char_height / 4;
  const int button_height = char_height * 3 / 2;
  const auto centred = [&](const char* caption, int top) {
    const int w = caption_width(caption, char_width);
    return QRect((width - w) / 2, top, w, button_height);
  };
  ChatListGeometry g;
  g.nicknames = QRect(0, 0, width, height / 2);
  const int row = g.nicknames.bottom() + 1 + quarter;
  g.ping = QRect(char_width, row, caption_width(kPingCaption, char_width), button_height);
  g.colour = centred(kColorCaption, row);
  const int who_width = caption_width(kWhoIsCaption, char_width);
  g.who_is = QRect(width - char_width - who_width, row, who_width, button_height);
  g.refresh = centred(kRefreshCaption, height - quarter - button_height);
  g.join = centred(kJoinCaption, g.refresh.top() - quarter - button_height);
  const int channels_top = row + button_height + quarter;
  g.channels = QRect(0, channels_top, width, std::max(0, g.join.top() - quarter - channels_top));
  return g;
}

ChatListWindow::ChatListWindow(ChatListServices services, QWidget* parent)
    : PlacedSubWindow(services.profile, parent), services_(std::move(services)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Chat List"));
  BuildControls();
}

void ChatListWindow::BuildControls() {
  pane_ = new QWidget;
  QFont font = pane_->font();
  font.setPointSize(kControlPointSize);
  pane_->setFont(font);
  nicknames_ = new QListWidget(pane_);
  nicknames_->setObjectName(QStringLiteral("nicknames"));
  nicknames_->setSortingEnabled(true);
  channels_ = new QListWidget(pane_);
  channels_->setObjectName(QStringLiteral("channels"));
  AddButton(kPingButton, kPingCaption, &ChatListWindow::OnPing);
  AddButton(kColorButton, kColorCaption, &ChatListWindow::OnColour);
  AddButton(kWhoIsButton, kWhoIsCaption, &ChatListWindow::OnWhoIs);
  AddButton(kJoinButton, kJoinCaption, &ChatListWindow::OnJoin);
  AddButton(kRefreshButton, kRefreshCaption, &ChatListWindow::Refresh);
  connect(channels_, &QListWidget::currentRowChanged, this, [this] { RefreshNicknames(); });
  pane_->installEventFilter(this);
  setWidget(pane_);
}

QPushButton* ChatListWindow::AddButton(int id, const char* caption, void (ChatListWindow::*clicked)()) {
  auto* button = new QPushButton(QString::fromLatin1(caption), pane_);
  connect(button, &QPushButton::clicked, this, clicked);
  buttons_[button_count_++] = {id, button};
  return button;
}

QPushButton* ChatListWindow::button(int id) const {
  for (const auto& [button_id, button] : buttons_) {
    if (button_id == id) return button;
  }
  return nullptr;
}

bool ChatListWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pane_ && event->type() == QEvent::Resize) LayOut();
  return QMdiSubWindow::eventFilter(watched, event);
}

void ChatListWindow::LayOut() {
  const QFontMetrics metrics(pane_->font());
  const auto measure = [&metrics](std::string_view caption) {
    QString text = QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size()));
    text.remove(QLatin1Char('&'));  // the mnemonic marker is not drawn
    return metrics.horizontalAdvance(text) + kButtonPaddingPx;
  };
  const ChatListGeometry g = LayOutChatList(pane_->size(), metrics.averageCharWidth(), metrics.height(), measure);
  nicknames_->setGeometry(g.nicknames);
  channels_->setGeometry(g.channels);
  button(kPingButton)->setGeometry(g.ping);
  button(kColorButton)->setGeometry(g.colour);
  button(kWhoIsButton)->setGeometry(g.who_is);
  button(kJoinButton)->setGeometry(g.join);
  button(kRefreshButton)->setGeometry(g.refresh);
}

// ---- the lists ----------------------------------------------------------------

void ChatListWindow::Refresh() {
  const std::optional<std::string> remembered = SelectedChannel();
  {
    // The nicknames are read once, below, not for every row change.
    const QSignalBlocker quiet(channels_);
    channels_->clear();
    for (const std::string& channel : ChatListChannels(services_.peers())) channels_->addItem(DecodeText(channel));
    int row = channels_->count() > 0 ? 0 : -1;
    if (remembered) {
      const QList<QListWidgetItem*> found = channels_->findItems(DecodeText(*remembered), Qt::MatchExactly);
      if (!found.isEmpty()) row = channels_->row(found.front());
    }
    channels_->setCurrentRow(row);
  }
  RefreshNicknames();
}

void ChatListWindow::RefreshNicknames() {
  const QListWidgetItem* current = nicknames_->currentItem();
  const QString remembered = current != nullptr ? current->text() : QString();
  const int remembered_row = nicknames_->currentRow();
  nicknames_->clear();
  if (const std::optional<std::string> channel = SelectedChannel()) {
    for (const std::string& line : ChatListNicknames(services_.peers(), *channel)) {
      nicknames_->addItem(DecodeText(line));
    }
  }
  const QList<QListWidgetItem*> found =
      remembered.isEmpty() ? QList<QListWidgetItem*>{} : nicknames_->findItems(remembered, Qt::MatchExactly);
  if (!found.isEmpty()) {
    nicknames_->setCurrentItem(found.front());
  } else if (remembered_row >= 0 && remembered_row < nicknames_->count()) {
    nicknames_->setCurrentRow(remembered_row);
  }
}

std::optional<std::string> ChatListWindow::SelectedNickname() const {
  const QListWidgetItem* item = nicknames_->currentItem();
  if (item == nullptr || !item->isSelected()) return std::nullopt;
  return CutAtTab(item->text());
}

std::optional<std::string> ChatListWindow::SelectedChannel() const {
  const QListWidgetItem* item = channels_->currentItem();
  if (item == nullptr || !item->isSelected()) return std::nullopt;
  return EncodeText(item->text());
}

// ---- the buttons ----------------------------------------------------------------

void ChatListWindow::OnPing() {
  if (const std::optional<std::string> nickname = SelectedNickname()) services_.ping(*nickname);
}

void ChatListWindow::OnWhoIs() {
  if (const std::optional<std::string> nickname = SelectedNickname()) services_.who_is(*nickname);
}

void ChatListWindow::OnColour() {
  if (const std::optional<std::string> nickname = SelectedNickname()) services_.colour(*nickname);
}

void ChatListWindow::OnJoin() {
  if (const std::optional<std::string> channel = SelectedChannel()) services_.join(*channel);
}

// ---- placement ------------------------------------------------------------------

void ChatListWindow::ShowAtStoredPlacement() { ShowAtPlacementOf(kPlacementKey, kInitialSize, QPoint(0, 0)); }

void ChatListWindow::closeEvent(QCloseEvent* event) {
  SavePlacementOf(kPlacementKey);
  QMdiSubWindow::closeEvent(event);
  if (event->isAccepted()) services_.closed();
}

}  // namespace vorn
