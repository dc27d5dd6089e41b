#pragma once
// The user information dialog (133) and the advanced options dialog (140).
// OK runs the checks of the settings store's forms and keeps the dialog
// open, after a message box, until they pass.
#include <QDialog>
#include <QPointer>
#include <functional>

#include "platform/dialogs.h"
#include "settings/settings_store.h"
#include "settings/user_info.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;

namespace vorn {

class AdvancedOptionsDlg final : public QDialog {
  Q_OBJECT
 public:
  AdvancedOptionsDlg(const AdvancedOptionsForm& form, Dialogs& dialogs, QWidget* parent);
  AdvancedOptionsForm form() const;

  QLineEdit* myIpEdit() const { return my_ip_; }         // 1005
  QLineEdit* proxyEdit() const { return proxy_; }        // 1006
  QLineEdit* portEdit() const { return port_; }          // 1007
  QCheckBox* fastJoinBox() const { return fast_join_; }  // 1029
  QCheckBox* redirectBox() const { return redirect_; }   // 1039
  QComboBox* lossProtectionBox() const { return loss_protection_; }

 public slots:
  void accept() override;

 private:
  Dialogs& dialogs_;
  QLineEdit* my_ip_;
  QLineEdit* proxy_;
  QLineEdit* port_;
  QCheckBox* fast_join_;
  QCheckBox* redirect_;
  QComboBox* loss_protection_;
};

class UserInfoDlg final : public QDialog {
  Q_OBJECT
 public:
  // advanced runs dialog 140 over this one; without it the button is off.
  UserInfoDlg(const UserInfoForm& form, Dialogs& dialogs, std::function<void(QWidget*)> advanced, QWidget* parent);
  UserInfoForm form() const;
  // The folder downloads go to; not part of the form, the program keeps it.
  void SetDownloadFolder(const QString& folder);
  QString downloadFolder() const;

  QLineEdit* realNameEdit() const { return real_name_; }  // 1010
  QLineEdit* nicknameEdit() const { return nickname_; }   // 1007
  QLineEdit* emailEdit() const { return email_; }         // 1008
  QLineEdit* otherEdit() const { return other_; }         // 1009
  QLineEdit* trackerEdit() const { return tracker_; }     // 1013
  QCheckBox* beepBox() const { return beep_; }            // 1012
  QCheckBox* timestampsBox() const { return timestamps_; }
  QLineEdit* downloadFolderEdit() const { return download_folder_; }
  QPushButton* advancedButton() const { return advanced_button_; }  // 1028

 public slots:
  void accept() override;

 private:
  void AddDownloadFolderRow(QFormLayout& fields);

  Dialogs& dialogs_;
  std::function<void(QWidget*)> advanced_;
  QLineEdit* real_name_;
  QLineEdit* nickname_;
  QLineEdit* email_;
  QLineEdit* other_;
  QLineEdit* tracker_;
  QCheckBox* beep_;
  QCheckBox* timestamps_;
  QLineEdit* download_folder_;
  QPushButton* advanced_button_;
};

// The settings store's identity dialog, shown with UserInfoDlg. Its
// advanced options button writes through the store, which is created after
// this port: it is set with SetStore.
class QtUserInfoDialog final : public UserInfoDialog {
 public:
  explicit QtUserInfoDialog(Dialogs& dialogs) : dialogs_(dialogs) {}
  void SetStore(SettingsStore* store) { store_ = store; }
  // Runs after the advanced options were applied (the join flags changed).
  void SetAfterAdvancedOptions(std::function<void()> after) { after_advanced_ = std::move(after); }
  void SetParent(QWidget* parent) { parent_ = parent; }
  bool Run(UserInfoForm& form, bool first_run) override;
  // Dialog 140 over parent: true when it closed with OK and was applied.
  bool RunAdvancedOptions(QWidget* parent);

 private:
  Dialogs& dialogs_;
  SettingsStore* store_ = nullptr;
  std::function<void()> after_advanced_;
  QPointer<QWidget> parent_;
};

}  // namespace vorn
