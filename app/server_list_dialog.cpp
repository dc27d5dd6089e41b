#include "server_list_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <array>

#include "core_adapter.h"
#include "node/node.h"
#include "server_props_dialog.h"
#include "text_convert.h"

namespace vorn {
namespace {

constexpr int kIndexRole = Qt::UserRole;
// The name column is 80 dialog units wide: a dialog unit is a quarter of
// the average character width.
constexpr int kNameColumnDialogUnits = 80;

QTreeWidgetItem* LineItem(const ServerLine& line, const ServerEntry& entry) {
  auto* item = new QTreeWidgetItem;
  // The marker and the name: the line without its tab and address.
  item->setText(0, DecodeText(std::string_view(line.text).substr(0, line.text.size() - entry.address.size() - 1)));
  item->setText(1, DecodeText(entry.address));
  item->setData(0, kIndexRole, QVariant::fromValue<qulonglong>(line.index));
  return item;
}

}  // namespace

ServerListDlg::ServerListDlg(SettingsStore& store, Dialogs& dialogs, std::string& last_address, QWidget* parent)
    : QDialog(parent),
      session_(store),
      dialogs_(dialogs),
      last_address_(last_address),
      list_(new QTreeWidget(this)),
      add_(new QPushButton(tr("&Add..."), this)),
      edit_(new QPushButton(tr("&Edit..."), this)),
      delete_(new QPushButton(tr("&Delete"), this)),
      set_default_(new QPushButton(tr("Set as De&fault"), this)),
      address_(new QLineEdit(this)),
      query_(new QPushButton(tr("&Query..."), this)),
      default_name_(new QLabel(this)) {
  setWindowTitle(tr("Server List"));
  BuildLayout();
  Connect();
  default_name_->setText(DecodeText(session_.default_server()));
  Refill(std::nullopt, false);
  SetAddress(last_address_);
}

void ServerListDlg::BuildLayout() {
  list_->setColumnCount(2);
  list_->setHeaderLabels({tr("Server"), tr("IP#")});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->header()->setStretchLastSection(true);
  list_->header()->resizeSection(0, kNameColumnDialogUnits * fontMetrics().averageCharWidth() / 4);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(tr("Default server:"), this));
  top->addWidget(default_name_, 1);
  auto* address_row = new QHBoxLayout;
  auto* address_label = new QLabel(tr("&IP#:"), this);
  address_label->setBuddy(address_);
  address_row->addWidget(address_label);
  address_row->addWidget(address_, 1);
  auto* left = new QVBoxLayout;
  left->addLayout(top);
  left->addWidget(list_, 1);
  left->addLayout(address_row);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* button : {add_, edit_, delete_, set_default_, query_}) buttons->addWidget(button);
  buttons->addStretch(1);
  auto* ok_cancel = new QDialogButtonBox(Qt::Vertical, this);
  QPushButton* connect_button = ok_cancel->addButton(tr("&Connect"), QDialogButtonBox::AcceptRole);
  connect_button->setDefault(true);
  QPushButton* close_button = ok_cancel->addButton(tr("Close"), QDialogButtonBox::RejectRole);
  // Tab goes from the list to the address and on to what acts on them.
  const std::array<QWidget*, 9> order{list_, address_, connect_button, close_button, add_,
                                      edit_, delete_,  set_default_,   query_};
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
  connect(ok_cancel, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(ok_cancel, &QDialogButtonBox::rejected, this, &QDialog::reject);
  buttons->addWidget(ok_cancel);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);
  resize(520, 320);
}

void ServerListDlg::Connect() {
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &ServerListDlg::SelectionChanged);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
  connect(address_, &QLineEdit::textChanged, this, [this] { session_.AddressChanged(); });
  connect(add_, &QPushButton::clicked, this, &ServerListDlg::AddEntry);
  connect(edit_, &QPushButton::clicked, this, &ServerListDlg::EditEntry);
  connect(delete_, &QPushButton::clicked, this, &ServerListDlg::DeleteEntry);
  connect(set_default_, &QPushButton::clicked, this, &ServerListDlg::SetAsDefault);
  connect(query_, &QPushButton::clicked, this, &ServerListDlg::Query);
}

QStringList ServerListDlg::lines() const {
  QStringList shown;
  for (int row = 0; row < list_->topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = list_->topLevelItem(row);
    shown << item->text(0) + QLatin1Char('\t') + item->text(1);
  }
  return shown;
}

void ServerListDlg::selectRow(int row) {
  if (QTreeWidgetItem* item = list_->topLevelItem(row)) {
    list_->setCurrentItem(item);
  } else {
    list_->clearSelection();
  }
}

void ServerListDlg::Refill(std::optional<size_t> select, bool make_current) {
  {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (const ServerLine& line : SortedServerLines(session_.list(), session_.default_server())) {
      QTreeWidgetItem* item = LineItem(line, session_.list()[line.index]);
      list_->addTopLevelItem(item);
      if (select == line.index) list_->setCurrentItem(item);
    }
  }
  const bool has_selection = Selected().has_value();
  edit_->setEnabled(has_selection);
  delete_->setEnabled(has_selection);
  if (!select || !make_current) return;
  if (const ServerEntry* entry = session_.Entry(*select)) {
    SetAddress(entry->address);
    session_.MakeCurrent(*select);
  }
}

// Lines know their entry by index, not by address, so that two entries with
// one address stay apart.
std::optional<size_t> ServerListDlg::Selected() const {
  const QList<QTreeWidgetItem*> items = list_->selectedItems();
  if (items.isEmpty()) return std::nullopt;
  const size_t index = items.front()->data(0, kIndexRole).value<qulonglong>();
  if (session_.Entry(index) == nullptr) return std::nullopt;
  return index;
}

void ServerListDlg::SelectionChanged() {
  const std::optional<size_t> index = Selected();
  edit_->setEnabled(index.has_value());
  delete_->setEnabled(index.has_value());
  if (index) SetAddress(session_.Entry(*index)->address);
}

// Also when the text stays the same: putting an address into the field
// always names the result as typed by the user.
void ServerListDlg::SetAddress(const std::string& address) {
  address_->setText(DecodeText(address));
  session_.AddressChanged();
}

void ServerListDlg::AddEntry() {
  ServerPropsDlg props(ServerEntry{}, dialogs_, this);
  if (props.exec() != QDialog::Accepted) return;
  Refill(session_.Add(props.entry()), true);
}

void ServerListDlg::EditEntry() {
  const std::optional<size_t> index = Selected();
  if (!index) return;
  ServerPropsDlg props(*session_.Entry(*index), dialogs_, this);
  if (props.exec() != QDialog::Accepted) return;
  Refill(session_.Edit(*index, props.entry()), true);
}

void ServerListDlg::DeleteEntry() {
  const std::optional<size_t> index = Selected();
  if (!index) return;
  if (!dialogs_.AskYesNo(kDeleteServerTitle, DeleteServerQuestion(session_.Entry(*index)->name))) return;
  session_.Remove(*index);
  Refill(std::nullopt, false);
}

void ServerListDlg::SetAsDefault() {
  const std::optional<size_t> index = Selected();
  if (!index) return;
  const std::optional<size_t> made = session_.SetDefault(*index);
  default_name_->setText(DecodeText(session_.default_server()));
  Refill(made, true);
}

void ServerListDlg::Query() {
  const std::optional<size_t> index = Selected();
  if (!index) return;
  queried_ = session_.EndForQuery(*index);
  QDialog::reject();
}

void ServerListDlg::accept() {
  const std::string address = EncodeText(address_->text());
  last_address_ = address;
  chosen_ = session_.Accept(address);
  QDialog::accept();
}

void ServerListDlg::reject() {
  chosen_.reset();
  session_.Cancel();
  QDialog::reject();
}

// ---- the command's entry point ------------------------------------------------

std::optional<ServerEntry> CoreAdapter::RunServerListDialog(QWidget* parent) {
  ServerListDlg dialog(node_.settings(), dialogs_, last_server_address_, parent);
  const bool ok = dialog.exec() == QDialog::Accepted;
  if (const std::optional<ServerEntry>& asked = dialog.queried()) {
    node_.connection().queries().QueryServerPlayers(asked->name, asked->address);
  }
  if (!ok) return std::nullopt;
  return dialog.chosen();
}

}  // namespace vorn
