#include "vorn95_view.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGraphicsEffect>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTime>
#include <QVBoxLayout>

#include "chat_input_line.h"
#include "line_feeds.h"
#include "net/messages.h"
#include "platform/peer_address.h"
#include "platform/text.h"
#include "settings/window_placement.h"
#include "text_convert.h"
#include "view_registry.h"

namespace vorn {
namespace {

constexpr const char* kReleaseVersion = "0.9c";
// Wrapped lines of a chat window continue under the text, past the
// nickname column.
constexpr int kChatIndentChars = 14;

QFont PaneFont() {
  QFont font(QStringLiteral("Courier"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(10);
  return font;
}

// The pane keeps line breaks, not CR LF pairs.
QString ForPane(const std::string& text) {
  QString shown = DecodeText(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

}  // namespace

CVorn95View::CVorn95View(const ViewServices& services, std::string channel_key, ChatInputId input_id, QWidget* parent)
    : QWidget(parent), services_(services), input_id_(input_id) {
  is_message_window_ = services_.views.Register(this);
  doc_.SetTitle(is_message_window_ ? std::string(kMessageWindowKey) : std::move(channel_key));
  setWindowTitle(caption());
  BuildWidgets();
  ApplyStoredBackground();
  WatchClipboard();
}

CVorn95View::~CVorn95View() { services_.views.Unregister(this); }

QString CVorn95View::caption() const {
  QString text =
      is_message_window_ ? DecodeText(doc_.title()) : QStringLiteral("Chat Window: %1").arg(DecodeText(doc_.title()));
  if (offline_) text += QStringLiteral(" (offline)");
  // The window itself says that its text goes to a file.
  if (isLogging()) text += QStringLiteral(" - logging to %1").arg(QFileInfo(log_path_).fileName());
  return text;
}

void CVorn95View::ShowCaption() {
  setWindowTitle(caption());
  if (parentWidget() != nullptr) parentWidget()->setWindowTitle(caption());
}

void CVorn95View::SetOffline(bool offline) {
  if (offline == offline_ || is_message_window_) return;
  offline_ = offline;
  input_->setEnabled(!offline);
  input_->setPlaceholderText(offline ? tr("Offline: connect to a server to chat again") : QString());
  if (offline) {
    // Every colour of the text fades to grey; it can still be read and copied.
    auto* grey = new QGraphicsColorizeEffect(output_);
    grey->setColor(Qt::gray);
    output_->setGraphicsEffect(grey);
  } else {
    output_->setGraphicsEffect(nullptr);
  }
  ShowCaption();
}

void CVorn95View::BuildWidgets() {
  output_ = new QTextEdit(this);
  output_->setReadOnly(true);
  // Reached with F6, the text scrolls and selects from the keyboard too.
  output_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  output_->setFont(PaneFont());
  output_->setAcceptRichText(false);
  output_->setUndoRedoEnabled(false);
  output_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  output_->setLineWrapMode(wrap_ ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
  ChatInputServices input;
  input.send = [this](const std::string& line) { services_.execute_line(line, input_id_); };
  input.correspondents = [this] { return services_.correspondents(); };
  input.users = [this] { return services_.users(); };
  input.beep = [this] { services_.beep(); };
  input_ = new CChatView(std::move(input), this);
  input_->setFont(PaneFont());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(output_, 1);
  layout->addWidget(input_);
  setFocusProxy(input_);
  // Code that presses Enter for the user (scripts, accessibility tools).
  connect(input_, &QLineEdit::returnPressed, input_, &CChatView::SendLine);
}

void CVorn95View::FinishCreation() {
  input_->setFocus();
  if (!is_message_window_) return;
  PrintBanner();
  services_.message_window_ready();
}

void CVorn95View::PrintBanner() {
  const uint32_t colour = services_.views.ColorOf(MessageClass::Server);
  Append(Format("Vorn for Win95 (version %s).\r\n", std::string(kProtocolVersion).c_str()), colour);
  Append(Format("Pre-beta release version %s\r\n", kReleaseVersion), colour);
  Append(Format("My IP number is %s\r\n", FormatIp(services_.own_ip()).c_str()), colour);
}

// ---- appending ----------------------------------------------------------------

void CVorn95View::Append(std::string_view text, uint32_t colour) {
  if (text.empty()) return;
  // Every text shown or logged passes here, including what peers sent.
  const std::string clean = SanitizeText(text);
  if (clean.empty()) return;
  std::string prepared = PrepareForView(clean);
  if (services_.timestamps()) {
    const std::string stamp = QTime::currentTime().toString(QStringLiteral("[HH:mm] ")).toStdString();
    prepared = StampLines(prepared, stamp, at_line_start_);
    indent_chars_ = kChatIndentChars + static_cast<int>(stamp.size());
  } else {
    indent_chars_ = kChatIndentChars;
    at_line_start_ = prepared.back() == '\n';
  }
  WriteToLog(prepared);
  const QString shown = ForPane(prepared);
  output_->setUpdatesEnabled(false);
  MakeRoomFor(static_cast<int>(shown.size()));
  InsertColoured(shown, colour);
  if (!frozen_) ScrollToEnd();
  output_->document()->setModified(false);
  output_->setUpdatesEnabled(true);
}

// Opened for each text only, so the file can be read or moved meanwhile;
// one that cannot be opened is skipped, the text is still shown. Lines end
// as the system's text files do.
void CVorn95View::WriteToLog(const std::string& text) const {
  if (log_path_.isEmpty()) return;
  QFile file(log_path_);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
#ifdef Q_OS_WIN
  const std::string& lines = text;
#else
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') lines += text[i];
  }
#endif
  file.write(lines.data(), static_cast<qint64>(lines.size()));
}

// Old text goes first, half of it at a time, so a long session never
// refuses new text. A text larger than the whole limit replaces everything
// and is still shown in full.
void CVorn95View::MakeRoomFor(int incoming) {
  QTextDocument* doc = output_->document();
  int length = doc->characterCount() - 1;
  if (length + incoming <= kTextLimit) return;
  QTextCursor cursor(doc);
  cursor.setPosition(length / 2, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  length = doc->characterCount() - 1;
  if (length + incoming <= kTextLimit) return;
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

void CVorn95View::InsertColoured(const QString& text, uint32_t colour) {
  QTextCursor cursor(output_->document());
  cursor.movePosition(QTextCursor::End);
  const int start = cursor.position();
  QTextCharFormat format;
  format.setForeground(ColorFromRef(colour));
  cursor.insertText(text, format);
  if (is_message_window_) return;
  const qreal indent = indent_chars_ * QFontMetrics(output_->font()).horizontalAdvance(QLatin1Char('X'));
  QTextBlockFormat block;
  block.setLeftMargin(indent);
  block.setTextIndent(-indent);
  cursor.setPosition(start);
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  cursor.mergeBlockFormat(block);
}

void CVorn95View::ScrollToEnd() {
  QScrollBar* bar = output_->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void CVorn95View::SwitchPane() {
  if (input_->hasFocus()) {
    output_->setFocus(Qt::ShortcutFocusReason);
  } else {
    input_->setFocus(Qt::ShortcutFocusReason);
  }
}

// ---- background ---------------------------------------------------------------

QColor CVorn95View::backgroundColor() const { return output_->palette().color(QPalette::Base); }

void CVorn95View::SetBackground(const QColor& colour) {
  QPalette palette = output_->palette();
  palette.setColor(QPalette::Base, colour);
  output_->setPalette(palette);
  output_->viewport()->update();
}

void CVorn95View::ApplyStoredBackground() {
  const std::optional<uint32_t> stored = LoadBackgroundColor(services_.profile, windowKey());
  if (stored && ColorFromRef(*stored) != backgroundColor()) SetBackground(ColorFromRef(*stored));
}

}  // namespace vorn
