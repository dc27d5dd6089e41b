#include "small_dialogs.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "artwork.h"
#include "dialog_buttons.h"

namespace vorn {

AboutDlg::AboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About vorn95"));
  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap::fromImage(DrawAppIcon(48)));
  auto* text = new QLabel(QStringLiteral("vorn95\nVersion 0.9c (beta)"), this);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(text, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

WhoIsDlg::WhoIsDlg(QWidget* parent) : QDialog(parent), name_(new QLineEdit(this)) {
  setWindowTitle(QStringLiteral("Who Is?"));
  auto* buttons = OkCancel(this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setEnabled(false);
  connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) { ok_->setEnabled(!text.isEmpty()); });
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(tr("Player's &name:"), this);
  label->setBuddy(name_);
  layout->addWidget(label);
  layout->addWidget(name_);
  layout->addWidget(buttons);
}

LogFileExistsDlg::LogFileExistsDlg(const QString& path, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Log File Exists"));
  auto* text =
      new QLabel(tr("The file %1 already exists. Do you want to overwrite it or append to it?").arg(path), this);
  text->setWordWrap(true);
  auto* overwrite = new QPushButton(tr("&Overwrite"), this);
  auto* append = new QPushButton(tr("&Append"), this);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  overwrite->setDefault(true);
  connect(overwrite, &QPushButton::clicked, this, [this] { done(kOverwrite); });
  connect(append, &QPushButton::clicked, this, [this] { done(kAppend); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(overwrite);
  buttons->addWidget(append);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addLayout(buttons);
}

}  // namespace vorn
