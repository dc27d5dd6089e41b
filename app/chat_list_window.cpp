#include "chat_list_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTextOption>
#include <algorithm>

#include "chat/chat_packet.h"
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

// Each row keeps the bytes it was made from: a name that is not UTF-8 would
// not survive the way through the shown text and back, and the buttons must
// name the same peer the row shows.
constexpr int kBytesRole = Qt::UserRole;

void AddRow(QListWidget* list, const std::string& bytes) {
  auto* item = new QListWidgetItem(DecodeText(bytes), list);
  item->setData(kBytesRole, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string BytesOf(const QListWidgetItem* item) { return item->data(kBytesRole).toByteArray().toStdString(); }

int RowOf(const QListWidget* list, const std::string& bytes) {
  for (int row = 0; row < list->count(); ++row) {
    if (BytesOf(list->item(row)) == bytes) return row;
  }
  return -1;
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
    for (const std::string& channel : ChatListChannels(services_.peers())) AddRow(channels_, channel);
    const int found = remembered ? RowOf(channels_, *remembered) : -1;
    channels_->setCurrentRow(found >= 0 ? found : channels_->count() > 0 ? 0 : -1);
  }
  RefreshNicknames();
}

void ChatListWindow::RefreshNicknames() {
  const QListWidgetItem* current = nicknames_->currentItem();
  const std::string remembered = current != nullptr ? BytesOf(current) : std::string();
  const int remembered_row = nicknames_->currentRow();
  nicknames_->clear();
  if (const std::optional<std::string> channel = SelectedChannel()) {
    for (const std::string& line : ChatListNicknames(services_.peers(), *channel)) AddRow(nicknames_, line);
  }
  const int found = remembered.empty() ? -1 : RowOf(nicknames_, remembered);
  if (found >= 0) {
    nicknames_->setCurrentRow(found);
  } else if (remembered_row >= 0 && remembered_row < nicknames_->count()) {
    nicknames_->setCurrentRow(remembered_row);
  }
}

std::optional<std::string> ChatListWindow::SelectedNickname() const {
  const QListWidgetItem* item = nicknames_->currentItem();
  if (item == nullptr || !item->isSelected()) return std::nullopt;
  const std::string line = BytesOf(item);
  return line.substr(0, line.find('\t'));
}

std::optional<std::string> ChatListWindow::SelectedChannel() const {
  const QListWidgetItem* item = channels_->currentItem();
  if (item == nullptr || !item->isSelected()) return std::nullopt;
  return BytesOf(item);
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

// Wide enough for a full row: a 15-character name and an address with its
// port, past the list's frame and scroll bar.
void ChatListWindow::ShowAtStoredPlacement() {
  const QFontMetrics metrics(pane_->font());
  // The tab between them goes to the next of the rows' tab stops.
  const int name = metrics.horizontalAdvance(QString(static_cast<int>(kChatNameMax), QLatin1Char('W')));
  const int tab_stop = qRound(QTextOption().tabStopDistance());
  const int row = (name / tab_stop + 1) * tab_stop + metrics.horizontalAdvance(QStringLiteral("255.255.255.255:65535"));
  const QStyle* look = style();
  const int frame = 2 * (look->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth) + nicknames_->frameWidth()) +
                    look->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * metrics.averageCharWidth();
  ShowAtPlacementOf(kPlacementKey, kInitialSize.expandedTo(QSize(row + frame, 0)), QPoint(0, 0));
}

void ChatListWindow::closeEvent(QCloseEvent* event) {
  SavePlacementOf(kPlacementKey);
  QMdiSubWindow::closeEvent(event);
  if (event->isAccepted()) services_.closed();
}

}  // namespace vorn
