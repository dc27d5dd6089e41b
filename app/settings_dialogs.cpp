#include "settings_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_buttons.h"
#include "download_folder.h"
#include "settings/app_settings.h"
#include "text_convert.h"

namespace vorn {
namespace {

QLineEdit* Field(QWidget* parent, const std::string& text, size_t limit) {
  auto* edit = new QLineEdit(DecodeText(text), parent);
  edit->setMaxLength(static_cast<int>(limit));
  return edit;
}

std::string Text(const QLineEdit* edit) { return EncodeText(edit->text()); }

}  // namespace

// ---- dialog 140 ---------------------------------------------------------------

AdvancedOptionsDlg::AdvancedOptionsDlg(const AdvancedOptionsForm& form, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent),
      dialogs_(dialogs),
      my_ip_(Field(this, form.my_ip, SettingsLimits::kMyIp)),
      proxy_(Field(this, form.proxy, SettingsLimits::kProxy)),
      port_(Field(this, form.port, SettingsLimits::kPort)),
      fast_join_(new QCheckBox(tr("&Fast join"), this)),
      redirect_(new QCheckBox(tr("&Redirect server messages to the message window"), this)),
      loss_protection_(new QComboBox(this)) {
  setWindowTitle(tr("Advanced Options"));
  // In the order of the stored numbers.
  loss_protection_->addItems({tr("Off"), tr("Automatic"), tr("Always")});
  loss_protection_->setCurrentIndex(static_cast<int>(form.loss_protection));
  loss_protection_->setToolTip(
      tr("Send each game frame twice toward other Vorn players: never, while the link loses frames, or always"));
  fast_join_->setChecked(form.fast_join);
  redirect_->setChecked(form.redirect_queries);
  my_ip_->setPlaceholderText(tr("found automatically"));
  auto* fields = new QFormLayout;
  fields->addRow(tr("My &IP address:"), my_ip_);
  fields->addRow(tr("&Proxy address:"), proxy_);
  fields->addRow(tr("P&ort:"), port_);
  fields->addRow(tr("&Loss protection:"), loss_protection_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(fast_join_);
  layout->addWidget(redirect_);
  layout->addWidget(OkCancel(this));
}

AdvancedOptionsForm AdvancedOptionsDlg::form() const {
  return {Text(my_ip_),
          Text(proxy_),
          Text(port_),
          fast_join_->isChecked(),
          redirect_->isChecked(),
          static_cast<LossProtection>(loss_protection_->currentIndex())};
}

void AdvancedOptionsDlg::accept() {
  if (std::optional<FormError> error = CheckAdvancedOptions(form())) {
    dialogs_.ShowMessage(error->title, error->text);
    return;
  }
  QDialog::accept();
}

// ---- dialog 133 ---------------------------------------------------------------

UserInfoDlg::UserInfoDlg(const UserInfoForm& form, Dialogs& dialogs, std::function<void(QWidget*)> advanced,
                         QWidget* parent)
    : QDialog(parent),
      dialogs_(dialogs),
      advanced_(std::move(advanced)),
      real_name_(Field(this, form.real_name, SettingsLimits::kRealName)),
      nickname_(Field(this, form.nickname, SettingsLimits::kNickname)),
      email_(Field(this, form.email, SettingsLimits::kEmail)),
      other_(Field(this, form.other, SettingsLimits::kOther)),
      tracker_(Field(this, form.tracker, SettingsLimits::kTracker)),
      beep_(new QCheckBox(tr("&Beep on private messages"), this)),
      timestamps_(new QCheckBox(tr("Time &stamps on chat lines"), this)),
      download_folder_(new QLineEdit(this)),
      advanced_button_(new QPushButton(tr("&Advanced..."), this)) {
  setWindowTitle(tr("User Information"));
  beep_->setChecked(form.beep_on_private);
  timestamps_->setChecked(form.timestamps);
  auto* fields = new QFormLayout;
  fields->addRow(tr("&Real name:"), real_name_);
  fields->addRow(tr("&Nickname:"), nickname_);
  fields->addRow(tr("&E-mail:"), email_);
  fields->addRow(tr("O&ther:"), other_);
  fields->addRow(tr("&Tracker:"), tracker_);
  AddDownloadFolderRow(*fields);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(beep_);
  layout->addWidget(timestamps_);
  QDialogButtonBox* buttons = OkCancel(this);
  buttons->addButton(advanced_button_, QDialogButtonBox::ActionRole);
  layout->addWidget(buttons);
  advanced_button_->setEnabled(static_cast<bool>(advanced_));
  connect(advanced_button_, &QPushButton::clicked, this, [this] {
    if (advanced_) advanced_(this);
  });
}

// The folder's field and a button to pick it.
void UserInfoDlg::AddDownloadFolderRow(QFormLayout& fields) {
  download_folder_->setPlaceholderText(DefaultDownloadFolder());
  download_folder_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 36);
  auto* browse = new QPushButton(tr("Bro&wse..."), this);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Download Folder"), downloadFolder());
    if (!chosen.isEmpty()) SetDownloadFolder(chosen);
  });
  auto* row = new QHBoxLayout;
  row->addWidget(download_folder_, 1);
  row->addWidget(browse);
  fields.addRow(tr("&Downloads:"), row);
  // A row of a layout has no buddy of its own.
  if (auto* label = qobject_cast<QLabel*>(fields.labelForField(row))) label->setBuddy(download_folder_);
}

void UserInfoDlg::SetDownloadFolder(const QString& folder) {
  download_folder_->setText(QDir::toNativeSeparators(folder));
}

QString UserInfoDlg::downloadFolder() const {
  const QString typed = download_folder_->text().trimmed();
  return typed.isEmpty() ? DefaultDownloadFolder() : QDir::fromNativeSeparators(typed);
}

UserInfoForm UserInfoDlg::form() const {
  return {Text(real_name_),   Text(nickname_),         Text(email_), Text(other_), Text(tracker_),
          beep_->isChecked(), timestamps_->isChecked()};
}

void UserInfoDlg::accept() {
  if (std::optional<FormError> error = CheckUserInfo(form())) {
    dialogs_.ShowMessage(error->title, error->text);
    return;
  }
  if (const QString problem = CheckDownloadFolder(download_folder_->text()); !problem.isEmpty()) {
    dialogs_.ShowMessage("Download Folder", problem.toStdString());
    return;
  }
  QDialog::accept();
}

// ---- the store's port ---------------------------------------------------------

bool QtUserInfoDialog::Run(UserInfoForm& form, bool) {
  std::function<void(QWidget*)> advanced;
  if (store_ != nullptr) advanced = [this](QWidget* parent) { RunAdvancedOptions(parent); };
  UserInfoDlg dialog(form, dialogs_, std::move(advanced), parent_.data());
  if (store_ != nullptr) dialog.SetDownloadFolder(DownloadFolder(store_->profile()));
  if (dialog.exec() != QDialog::Accepted) return false;
  form = dialog.form();
  // Used from the next download on: no restart.
  if (store_ != nullptr) SaveDownloadFolder(store_->profile(), dialog.downloadFolder());
  return true;
}

bool QtUserInfoDialog::RunAdvancedOptions(QWidget* parent) {
  if (store_ == nullptr) return false;
  AdvancedOptionsDlg dialog(store_->CurrentAdvancedOptions(), dialogs_, parent);
  if (dialog.exec() != QDialog::Accepted || !store_->ApplyAdvancedOptions(dialog.form())) return false;
  if (after_advanced_) after_advanced_();
  return true;
}

}  // namespace vorn
