#pragma once
// The server properties dialog (131): a server's display name and address.
// OK keeps it open, after a message box, until both are filled in.
#include <QDialog>

#include "platform/dialogs.h"
#include "settings/server_list.h"

class QLineEdit;

namespace vorn {

class ServerPropsDlg final : public QDialog {
  Q_OBJECT
 public:
  ServerPropsDlg(const ServerEntry& entry, Dialogs& dialogs, QWidget* parent);
  // The texts as they stand.
  ServerEntry entry() const;

  QLineEdit* nameEdit() const { return name_; }        // 1006
  QLineEdit* addressEdit() const { return address_; }  // 1005

 public slots:
  void accept() override;

 private:
  Dialogs& dialogs_;
  QLineEdit* name_;
  QLineEdit* address_;
};

}  // namespace vorn
