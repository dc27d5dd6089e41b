#pragma once
#include <memory>
#include <string_view>

namespace vorn {

// The modal dialog shown while an operation waits for a peer: a title, a
// text, a countdown and an animation, and one button (Cancel, or Close).
// Its owner ticks it from a UI timer while Run serves the UI loop.
class ProgressDialog {
 public:
  static constexpr int kAnimationFrames = 20;

  virtual ~ProgressDialog() = default;
  // close_label: the button reads "&Close" instead of "Cancel". Also clears
  // the cancelled flag.
  virtual void SetTexts(std::string_view title, std::string_view text, bool close_label) = 0;
  virtual void SetCountdown(int count) = 0;
  // The next animation frame.
  virtual void Tick() = 0;
  // UI thread: shows the dialog and serves the UI loop until End or Cancel
  // (or until the loop is told to quit).
  virtual void Run() = 0;
  virtual void End() = 0;
  virtual bool IsOpen() const = 0;
  virtual bool IsCancelled() const = 0;
  // What the button does: sets the cancelled flag and ends the dialog. The
  // owner reports the cancellation once Run has returned.
  virtual void Cancel() = 0;
};

// Modal questions and notices. Implementations: the Qt GUI, the headless
// node (which prints and answers "no"), and scripted test doubles.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A message box with one OK button.
  virtual void ShowMessage(std::string_view caption, std::string_view text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(std::string_view caption, std::string_view text) = 0;
  virtual void Beep() = 0;
  // A new, not yet running progress dialog. At most one exists at a time.
  virtual std::unique_ptr<ProgressDialog> CreateProgressDialog() = 0;
};

}  // namespace vorn
