// The commands that act on the active text view.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QTextEdit>

#include "app_prompts.h"
#include "settings/window_placement.h"
#include "text_convert.h"
#include "vorn95_view.h"

namespace vorn {

void CVorn95View::ToggleFreeze() {
  frozen_ = !frozen_;
  if (!frozen_) output_->moveCursor(QTextCursor::End);
}

void CVorn95View::ToggleWrap() {
  wrap_ = !wrap_;
  output_->setLineWrapMode(wrap_ ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
  output_->viewport()->update();
}

void CVorn95View::ChooseBackgroundColor() {
  const QColor current = backgroundColor();
  const std::optional<QColor> chosen = services_.prompts.ChooseColor(current);
  if (!chosen || !chosen->isValid() || *chosen == current) return;
  SetBackground(*chosen);
  SaveBackgroundColor(services_.profile, windowKey(), RefFromColor(*chosen));
}

void CVorn95View::ToggleLogging() {
  if (isLogging()) {
    log_path_.clear();
    return ShowCaption();
  }
  const std::optional<QString> path = services_.prompts.ChooseLogFile(QStringLiteral("vorn.log"));
  if (!path || path->isEmpty()) return;
  if (QFileInfo::exists(*path)) {
    switch (services_.prompts.AskLogFileChoice(*path)) {
      case LogFileChoice::Cancel:
        return;
      case LogFileChoice::Overwrite:
        QFile::remove(*path);
        break;
      case LogFileChoice::Append:
        break;
    }
  }
  log_path_ = *path;
  ShowCaption();
}

// Copy takes the input line's selection while it has the focus, the output
// pane's otherwise; cut and paste only ever edit the input line.
bool CVorn95View::CanCopy() const {
  if (input_->hasFocus()) return input_->hasSelectedText();
  return output_->textCursor().hasSelection();
}

void CVorn95View::Copy() {
  if (input_->hasFocus()) {
    input_->copy();
  } else {
    output_->copy();
  }
}

bool CVorn95View::CanCut() const { return input_->hasFocus() && input_->hasSelectedText(); }
void CVorn95View::Cut() { input_->cut(); }

// Asked on every update of the menus; the clipboard is read only when it
// changes, since reading it may mean a round trip to another program.
bool CVorn95View::CanPaste() const { return clipboard_has_text_; }

void CVorn95View::WatchClipboard() {
  QClipboard* clipboard = QApplication::clipboard();
  auto read = [this, clipboard] {
    const QMimeData* mime = clipboard->mimeData();
    clipboard_has_text_ = mime != nullptr && mime->hasText() && !mime->text().isEmpty();
  };
  connect(clipboard, &QClipboard::dataChanged, this, read);
  read();
}

void CVorn95View::Paste() { input_->paste(); }
void CVorn95View::ClearText() { output_->clear(); }
bool CVorn95View::CanUndo() const { return input_->isUndoAvailable(); }
void CVorn95View::Undo() { input_->undo(); }

}  // namespace vorn
