#include "server_props_dialog.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog_buttons.h"
#include "settings/server_list_editing.h"
#include "text_convert.h"

namespace vorn {
namespace {

QLineEdit* Field(QWidget* parent, const std::string& text, size_t limit) {
  auto* edit = new QLineEdit(parent);
  edit->setMaxLength(static_cast<int>(limit));
  edit->setText(DecodeText(text));
  return edit;
}

}  // namespace

ServerPropsDlg::ServerPropsDlg(const ServerEntry& entry, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent),
      dialogs_(dialogs),
      name_(Field(this, entry.name, kMaxServerNameText)),
      address_(Field(this, entry.address, kMaxServerAddressText)) {
  setWindowTitle(tr("Server Properties"));
  address_->setPlaceholderText(tr("a.b.c.d or a.b.c.d:port"));
  // Wide enough for the hint and for a full address with its port.
  const QFontMetrics metrics(address_->font());
  const int text_width = std::max(metrics.horizontalAdvance(address_->placeholderText()),
                                  metrics.horizontalAdvance(QStringLiteral("255.255.255.255:65535")));
  address_->setMinimumWidth(text_width + 4 * metrics.averageCharWidth());
  auto* fields = new QFormLayout;
  fields->addRow(tr("&Name:"), name_);
  fields->addRow(tr("IP &Address:"), address_);
  auto* buttons = OkCancel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(buttons);
}

ServerEntry ServerPropsDlg::entry() const { return {EncodeText(name_->text()), EncodeText(address_->text())}; }

void ServerPropsDlg::accept() {
  if (std::optional<FormError> error = CheckServerProps(entry())) {
    dialogs_.ShowMessage(error->title, error->text);
    return;
  }
  QDialog::accept();
}

}  // namespace vorn
