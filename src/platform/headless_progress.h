#pragma once
// A progress dialog without a window: its modal run serves the UI loop until
// the dialog is ended. The headless node and the tests show it this way; the
// GUI draws its own.
#include <string>
#include <string_view>

#include "platform/dialogs.h"
#include "platform/ui_loop.h"

namespace vorn {

class HeadlessProgressDialog : public ProgressDialog {
 public:
  explicit HeadlessProgressDialog(UiLoop& ui) : ui_(ui) {}

  void SetTexts(std::string_view title, std::string_view text, bool close_label) override;
  void SetCountdown(int count) override { countdown_ = count; }
  void Tick() override { frame_ = (frame_ + 1) % kAnimationFrames; }
  void Run() override;
  void End() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool IsCancelled() const override { return cancelled_; }
  void Cancel() override;

  const std::string& title() const { return title_; }
  const std::string& text() const { return text_; }
  bool close_label() const { return close_label_; }
  int countdown() const { return countdown_; }
  int frame() const { return frame_; }

 protected:
  UiLoop& ui() { return ui_; }

 private:
  UiLoop& ui_;
  std::string title_;
  std::string text_;
  bool close_label_ = false;
  int countdown_ = 10;
  int frame_ = -1;  // the first tick shows frame 0
  bool open_ = false;
  bool cancelled_ = false;
};

}  // namespace vorn
