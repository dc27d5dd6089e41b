#include "chat_input_line.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMetaObject>
#include <algorithm>

#include "text_convert.h"

namespace vorn {
namespace {

constexpr int kBorderPx = 2;

}  // namespace

// ---- history ------------------------------------------------------------------

void InputHistory::Add(const std::string& line) {
  lines_.erase(std::remove(lines_.begin(), lines_.end(), line), lines_.end());
  while (lines_.size() >= kLimit) lines_.erase(lines_.begin());
  lines_.push_back(line);
  position_.reset();
  at_start_ = false;
}

std::optional<std::string> InputHistory::StepBack() {
  if (at_start_ || lines_.empty()) return std::nullopt;
  if (!position_) {
    position_ = lines_.size() - 1;
    return lines_[*position_];
  }
  if (*position_ == 0) {
    // The field keeps showing the oldest line.
    position_.reset();
    at_start_ = true;
    return std::nullopt;
  }
  --*position_;
  return lines_[*position_];
}

std::optional<std::string> InputHistory::StepForward() {
  if (!at_start_ && !position_) return std::nullopt;
  if (at_start_ && !position_) position_ = 0;
  at_start_ = false;
  ++*position_;
  if (*position_ >= lines_.size()) {
    position_.reset();
    return std::nullopt;
  }
  return lines_[*position_];
}

// ---- completion ---------------------------------------------------------------

std::optional<std::string> NicknameCompletion::Step(const std::vector<std::string>& correspondents) {
  if (correspondents.empty()) {
    position_.reset();
    return std::nullopt;
  }
  // The list starts afresh with each chat session and may have shrunk.
  if (!position_ || *position_ >= correspondents.size()) position_ = correspondents.size() - 1;
  const std::string nickname = correspondents[*position_];
  if (*position_ == 0) {
    position_.reset();
  } else {
    --*position_;
  }
  return nickname;
}

std::optional<WordCompletion::Result> WordCompletion::Step(const QString& text, int cursor, const QStringList& names) {
  if (text != shown_ || matches_.isEmpty()) {
    int start = cursor;
    while (start > 0 && !text[start - 1].isSpace()) --start;
    const QString begun = text.mid(start, cursor - start);
    matches_.clear();
    if (begun.isEmpty()) return std::nullopt;
    for (const QString& name : names) {
      if (name.startsWith(begun, Qt::CaseInsensitive)) matches_ << name;
    }
    matches_.sort(Qt::CaseInsensitive);
    if (matches_.isEmpty()) return std::nullopt;
    before_ = text.left(start);
    after_ = text.mid(cursor);
    next_ = 0;
  }
  const QString& name = matches_[next_++ % matches_.size()];
  shown_ = before_ + name + after_;
  return Result{shown_, static_cast<int>(before_.size() + name.size())};
}

// ---- the field ----------------------------------------------------------------

CChatView::CChatView(ChatInputServices services, QWidget* parent) : QLineEdit(parent), services_(std::move(services)) {
  setMaxLength(kMaxLineLength);
  setFrame(true);
  FitHeightToFont();
}

// One line of the font and a little air, inside the field's border.
void CChatView::FitHeightToFont() { setFixedHeight(QFontMetrics(font()).height() + 4 + 2 * kBorderPx); }

void CChatView::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) FitHeightToFont();
}

void CChatView::SendLine() {
  const std::string line = EncodeText(text());
  if (line.empty()) return;
  clear();
  history_.Add(line);
  services_.send(line);
}

void CChatView::Show(const std::string& line) {
  setText(DecodeText(line));
  end(false);
}

void CChatView::HistoryBack() {
  if (std::optional<std::string> line = history_.StepBack()) {
    Show(*line);
  } else {
    services_.beep();
  }
}

void CChatView::HistoryForward() {
  if (std::optional<std::string> line = history_.StepForward()) {
    Show(*line);
  } else {
    services_.beep();
  }
}

void CChatView::CompleteNickname() {
  QStringList users;
  for (const std::string& user : services_.users()) users << DecodeText(user);
  if (std::optional<WordCompletion::Result> done = words_.Step(text(), cursorPosition(), users)) {
    setText(done->text);
    setCursorPosition(done->cursor);
    return;
  }
  if (!text().isEmpty() && !text().startsWith(QStringLiteral("/msg "))) return services_.beep();
  if (std::optional<std::string> nickname = completion_.Step(services_.correspondents())) {
    Show("/msg " + *nickname + " ");
  } else {
    services_.beep();
  }
}

// Tab would move the focus before keyPressEvent ever saw it.
bool CChatView::event(QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier) {
      CompleteNickname();
      return true;
    }
  }
  return QLineEdit::event(event);
}

namespace {

bool IsCursorBlockArrow(const QKeyEvent* key) {
  return (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) && !(key->modifiers() & Qt::KeypadModifier);
}

}  // namespace

void CChatView::keyPressEvent(QKeyEvent* event) {
  const bool keypad = (event->modifiers() & Qt::KeypadModifier) != 0;
  if (event->key() == Qt::Key_Return && !keypad && !(event->modifiers() & Qt::AltModifier)) {
    // Sent once the key has been handled, in order with other events.
    QMetaObject::invokeMethod(this, &CChatView::SendLine, Qt::QueuedConnection);
    return;
  }
  // The keypad's Enter sends nothing and inserts nothing.
  if (event->key() == Qt::Key_Enter || event->key() == Qt::Key_Return) return;
  // The arrows act when released; the press must not reach the field.
  if (IsCursorBlockArrow(event)) return;
  QLineEdit::keyPressEvent(event);
}

void CChatView::keyReleaseEvent(QKeyEvent* event) {
  if (IsCursorBlockArrow(event) && !event->isAutoRepeat()) {
    if (event->key() == Qt::Key_Up) {
      HistoryBack();
    } else {
      HistoryForward();
    }
    return;
  }
  QLineEdit::keyReleaseEvent(event);
}

}  // namespace vorn
