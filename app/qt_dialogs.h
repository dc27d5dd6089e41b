#pragma once
// The core's Dialogs port with Qt message boxes, the system beep and the
// program's own progress dialog.
#include <QPointer>
#include <QWidget>

#include "platform/dialogs.h"
#include "platform/ui_loop.h"

namespace vorn {

class QtDialogs final : public Dialogs {
 public:
  explicit QtDialogs(UiLoop& ui) : ui_(ui) {}
  // Message boxes open over the parent; set it once the main frame exists.
  void SetParent(QWidget* parent) { parent_ = parent; }

  void ShowMessage(std::string_view caption, std::string_view text) override;
  bool AskYesNo(std::string_view caption, std::string_view text) override;
  void Beep() override;
  std::unique_ptr<ProgressDialog> CreateProgressDialog() override;

 private:
  QWidget* Parent() const;

  UiLoop& ui_;
  QPointer<QWidget> parent_;
};

}  // namespace vorn
