#pragma once
// The small dialogs: the about box (100), "Who Is?" (156) and the choice for
// a log file that exists already (155).
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace vorn {

class AboutDlg final : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDlg(QWidget* parent);
};

class WhoIsDlg final : public QDialog {
  Q_OBJECT
 public:
  explicit WhoIsDlg(QWidget* parent);
  QLineEdit* nameEdit() const { return name_; }  // 1006
  QPushButton* okButton() const { return ok_; }

 private:
  QLineEdit* name_;
  QPushButton* ok_;
};

class LogFileExistsDlg final : public QDialog {
  Q_OBJECT
 public:
  // Results besides Rejected (Cancel).
  static constexpr int kOverwrite = 1;
  static constexpr int kAppend = 1012;

  LogFileExistsDlg(const QString& path, QWidget* parent);
};

}  // namespace vorn
