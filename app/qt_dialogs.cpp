#include "qt_dialogs.h"

#include <QApplication>
#include <QMessageBox>

#include "progress_dlg.h"
#include "text_convert.h"

namespace vorn {

// A modal dialog that is open (the identity dialog of the first run, say)
// is the natural owner of a message about it.
QWidget* QtDialogs::Parent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return parent_.data();
}

void QtDialogs::ShowMessage(std::string_view caption, std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, DecodeText(caption), DecodeText(text), QMessageBox::Ok, Parent());
  box.exec();
}

bool QtDialogs::AskYesNo(std::string_view caption, std::string_view text) {
  QMessageBox box(QMessageBox::Question, DecodeText(caption), DecodeText(text), QMessageBox::Yes | QMessageBox::No,
                  Parent());
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void QtDialogs::Beep() { QApplication::beep(); }

std::unique_ptr<ProgressDialog> QtDialogs::CreateProgressDialog() {
  return std::make_unique<QtProgressDialog>(ui_, Parent());
}

}  // namespace vorn
