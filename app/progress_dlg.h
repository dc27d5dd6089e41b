#pragma once
// The progress dialog shown while the program waits for a peer: its title
// and text, a countdown, a 20-frame animation and one button (Cancel, or
// "&Close"). It is modal, but Run serves the UI loop rather than blocking it.
#include <QDialog>
#include <QPointer>
#include <string>

#include "platform/dialogs.h"
#include "platform/ui_loop.h"

class QLabel;
class QPushButton;

namespace vorn {

class ProgressAnimation;

class ProgressWindow final : public QDialog {
  Q_OBJECT
 public:
  explicit ProgressWindow(QWidget* parent);
  void SetTexts(const QString& title, const QString& text, bool close_label);
  void SetCountdown(int count);
  void SetFrame(int frame);
  QPushButton* button() const { return button_; }
  QString countdownText() const;
  int frame() const;

 signals:
  void CancelPressed();

 protected:
  void reject() override;

 private:
  QLabel* text_;
  QLabel* countdown_;
  ProgressAnimation* animation_;
  QPushButton* button_;
};

class QtProgressDialog final : public ProgressDialog {
 public:
  QtProgressDialog(UiLoop& ui, QWidget* parent);
  ~QtProgressDialog() override;

  void SetTexts(std::string_view title, std::string_view text, bool close_label) override;
  void SetCountdown(int count) override;
  void Tick() override;
  void Run() override;
  void End() override;
  bool IsOpen() const override { return open_; }
  bool IsCancelled() const override { return cancelled_; }
  void Cancel() override;

  ProgressWindow* window() const { return window_.data(); }

 private:
  UiLoop& ui_;
  QPointer<ProgressWindow> window_;
  int frame_ = -1;  // the first tick shows frame 0
  bool open_ = false;
  bool cancelled_ = false;
};

}  // namespace vorn
