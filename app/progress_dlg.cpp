#include "progress_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "artwork.h"
#include "text_convert.h"

namespace vorn {

class ProgressAnimation final : public QWidget {
 public:
  explicit ProgressAnimation(QWidget* parent) : QWidget(parent) { setFixedSize(kProgressArtSize); }
  void SetFrame(int frame) {
    frame_ = frame;
    update();
  }
  int frame() const { return frame_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    DrawProgressFrame(painter, rect(), frame_ < 0 ? 0 : frame_);
  }

 private:
  int frame_ = -1;
};

ProgressWindow::ProgressWindow(QWidget* parent)
    : QDialog(parent),
      text_(new QLabel(this)),
      countdown_(new QLabel(this)),
      animation_(new ProgressAnimation(this)),
      button_(new QPushButton(tr("Cancel"), this)) {
  setModal(true);
  text_->setWordWrap(true);
  text_->setMinimumWidth(260);
  countdown_->setAlignment(Qt::AlignCenter);
  auto* row = new QHBoxLayout;
  row->addWidget(animation_);
  row->addWidget(text_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(countdown_);
  buttons->addStretch(1);
  buttons->addWidget(button_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
  connect(button_, &QPushButton::clicked, this, &ProgressWindow::CancelPressed);
}

void ProgressWindow::SetTexts(const QString& title, const QString& text, bool close_label) {
  setWindowTitle(title);
  text_->setText(text);
  button_->setText(close_label ? tr("&Close") : tr("Cancel"));
}

// The bare number would not say what it counts.
void ProgressWindow::SetCountdown(int count) { countdown_->setText(tr("Tries left: %1").arg(count)); }
void ProgressWindow::SetFrame(int frame) { animation_->SetFrame(frame); }
QString ProgressWindow::countdownText() const { return countdown_->text(); }
int ProgressWindow::frame() const { return animation_->frame(); }

// Escape and the window's close box do what the button does.
void ProgressWindow::reject() { emit CancelPressed(); }

QtProgressDialog::QtProgressDialog(UiLoop& ui, QWidget* parent) : ui_(ui), window_(new ProgressWindow(parent)) {
  QObject::connect(window_.data(), &ProgressWindow::CancelPressed, window_.data(), [this] { Cancel(); });
}

QtProgressDialog::~QtProgressDialog() { delete window_.data(); }

void QtProgressDialog::SetTexts(std::string_view title, std::string_view text, bool close_label) {
  cancelled_ = false;
  if (window_) window_->SetTexts(DecodeText(title), DecodeText(text), close_label);
}

void QtProgressDialog::SetCountdown(int count) {
  if (window_) window_->SetCountdown(count);
}

void QtProgressDialog::Tick() {
  frame_ = (frame_ + 1) % kAnimationFrames;
  if (window_) window_->SetFrame(frame_);
}

void QtProgressDialog::Run() {
  open_ = true;
  if (window_) window_->show();
  ui_.RunModal([this] { return !open_ || !window_; });
  // A loop that stops delivering ends the dialog with it.
  open_ = false;
  if (window_) window_->hide();
}

void QtProgressDialog::End() { open_ = false; }

void QtProgressDialog::Cancel() {
  if (!open_) return;
  cancelled_ = true;
  End();
}

}  // namespace vorn
