#pragma once
// The caps-lock, num-lock and scroll-lock indicators of the status bar.
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace vorn {

struct LockKeyState {
  bool caps = false;
  bool num = false;
  bool scroll = false;
};

// The keyboard's lock states: from the X server when the program runs on
// one, otherwise from the keyboard LEDs the kernel shows; all off when
// neither can be read.
LockKeyState ReadLockKeys();

class LockIndicators final : public QWidget {
  Q_OBJECT
 public:
  explicit LockIndicators(QWidget* parent);
  void Show(const LockKeyState& state);
  QLabel* caps() const { return caps_; }

 private:
  QLabel* caps_;
  QLabel* num_;
  QLabel* scroll_;
  QTimer poll_;
};

}  // namespace vorn
