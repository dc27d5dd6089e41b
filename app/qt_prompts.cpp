#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "app_prompts.h"
#include "small_dialogs.h"
#include "text_convert.h"

namespace vorn {

bool QtPrompts::AskOkCancel(std::string_view caption, std::string_view text) {
  QMessageBox box(QMessageBox::Question, DecodeText(caption), DecodeText(text), QMessageBox::Ok | QMessageBox::Cancel,
                  parent_.data());
  return box.exec() == QMessageBox::Ok;
}

std::optional<QString> QtPrompts::ChooseLogFile(const QString& default_name) {
  // The program asks itself what to do with an existing file.
  const QString path = QFileDialog::getSaveFileName(parent_.data(), QObject::tr("Log to File"), default_name,
                                                    QStringLiteral("Log Files (*.log);;All Files (*.*)"), nullptr,
                                                    QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

LogFileChoice QtPrompts::AskLogFileChoice(const QString& path) {
  LogFileExistsDlg dialog(path, parent_.data());
  switch (dialog.exec()) {
    case LogFileExistsDlg::kOverwrite:
      return LogFileChoice::Overwrite;
    case LogFileExistsDlg::kAppend:
      return LogFileChoice::Append;
    default:
      return LogFileChoice::Cancel;
  }
}

std::optional<QColor> QtPrompts::ChooseColor(const QColor& current) {
  const QColor chosen = QColorDialog::getColor(current, parent_.data());
  if (!chosen.isValid()) return std::nullopt;
  return chosen;
}

std::optional<std::string> QtPrompts::AskWhoIs() {
  WhoIsDlg dialog(parent_.data());
  if (dialog.exec() != QDialog::Accepted || dialog.nameEdit()->text().isEmpty()) return std::nullopt;
  return EncodeText(dialog.nameEdit()->text());
}

void QtPrompts::ShowAbout() {
  AboutDlg dialog(parent_.data());
  dialog.exec();
}

}  // namespace vorn
