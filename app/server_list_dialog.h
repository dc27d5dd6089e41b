#pragma once
// The server list dialog (130): pick the server to connect to, keep the
// list of known servers, mark the default server, and ask a server for its
// players without connecting. The list logic is ServerListSession's; this
// class shows it.
#include <QDialog>
#include <optional>
#include <string>

#include "platform/dialogs.h"
#include "settings/server_list_editing.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace vorn {

class ServerListDlg final : public QDialog {
  Q_OBJECT
 public:
  // last_address: what the address field shows at first, and where OK
  // leaves the address used, for the next run.
  ServerListDlg(SettingsStore& store, Dialogs& dialogs, std::string& last_address, QWidget* parent);

  // After OK: the entry to connect to.
  const std::optional<ServerEntry>& chosen() const { return chosen_; }
  // After Query: the server to ask (the dialog closed with Cancel).
  const std::optional<ServerEntry>& queried() const { return queried_; }

  // The lines as shown, "*" marker, name, tab and address each.
  QStringList lines() const;
  // Selects the shown line; -1 clears the selection.
  void selectRow(int row);

  QTreeWidget* listBox() const { return list_; }               // 1000
  QPushButton* addButton() const { return add_; }              // 1001
  QPushButton* editButton() const { return edit_; }            // 1002
  QPushButton* deleteButton() const { return delete_; }        // 1003
  QPushButton* defaultButton() const { return set_default_; }  // 1006
  QLineEdit* addressEdit() const { return address_; }          // 1026
  QPushButton* queryButton() const { return query_; }          // 1004
  QLabel* defaultLabel() const { return default_name_; }       // 1038

 public slots:
  void accept() override;
  void reject() override;

 private:
  void BuildLayout();
  void Connect();
  // Lists the entries again; the given entry's line is selected and, when
  // asked, becomes the result with its address in the field.
  void Refill(std::optional<size_t> select, bool make_current);
  std::optional<size_t> Selected() const;
  void SelectionChanged();
  void SetAddress(const std::string& address);
  void AddEntry();
  void EditEntry();
  void DeleteEntry();
  void SetAsDefault();
  void Query();

  ServerListSession session_;
  Dialogs& dialogs_;
  std::string& last_address_;
  std::optional<ServerEntry> chosen_;
  std::optional<ServerEntry> queried_;
  QTreeWidget* list_;
  QPushButton* add_;
  QPushButton* edit_;
  QPushButton* delete_;
  QPushButton* set_default_;
  QLineEdit* address_;
  QPushButton* query_;
  QLabel* default_name_;
};

}  // namespace vorn
