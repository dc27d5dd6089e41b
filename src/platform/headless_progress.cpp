#include "platform/headless_progress.h"

namespace vorn {

void HeadlessProgressDialog::SetTexts(std::string_view title, std::string_view text, bool close_label) {
  title_ = title;
  text_ = text;
  close_label_ = close_label;
  cancelled_ = false;
}

void HeadlessProgressDialog::Run() {
  open_ = true;
  ui_.RunModal([this] { return !open_; });
  // A loop told to quit ends the dialog with it.
  open_ = false;
}

void HeadlessProgressDialog::Cancel() {
  if (!open_) return;
  cancelled_ = true;
  End();
}

}  // namespace vorn
