#include "transfers_window.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "text_convert.h"

namespace vorn {
namespace {

QTableWidgetItem* Cell(QTableWidget* table, int row, int column) {
  QTableWidgetItem* item = table->item(row, column);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    table->setItem(row, column, item);
  }
  return item;
}

}  // namespace

QString FormatByteCount(uint64_t bytes) {
  if (bytes < 1024) return QStringLiteral("%1 bytes").arg(bytes);
  static constexpr const char* kUnits[] = {"KB", "MB", "GB"};
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(kUnits[unit]));
}

TransfersWindow::TransfersWindow(TransfersServices services, QWidget* parent)
    : PlacedSubWindow(services.profile, parent), services_(std::move(services)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(tr("Transfers"));
  auto* pane = new QWidget;
  table_ = new QTableWidget(0, kColumns, pane);
  table_->setHorizontalHeaderLabels({tr("File"), tr("Peer"), tr("Bytes"), tr("Rate"), tr("Progress"), QString()});
  table_->verticalHeader()->hide();
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  QHeaderView* header = table_->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::ResizeToContents);
  header->setSectionResizeMode(kFile, QHeaderView::Stretch);
  header->setSectionResizeMode(kProgress, QHeaderView::Fixed);
  header->resizeSection(kProgress, fontMetrics().horizontalAdvance(QLatin1Char('x')) * 18);
  empty_note_ = new QLabel(tr("No file is being sent or received."), pane);
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(table_, 1);
  layout->addWidget(empty_note_);
  setWidget(pane);
  connect(&poll_, &QTimer::timeout, this, &TransfersWindow::Refresh);
  poll_.start(kPollMs);
  Refresh();
}

QProgressBar* TransfersWindow::progressBar(int row) const {
  return qobject_cast<QProgressBar*>(table_->cellWidget(row, kProgress));
}

QPushButton* TransfersWindow::cancelButton(int row) const {
  return qobject_cast<QPushButton*>(table_->cellWidget(row, kCancel));
}

void TransfersWindow::Refresh() {
  const std::vector<TransferStatus> transfers = services_.transfers();
  table_->setRowCount(static_cast<int>(transfers.size()));
  for (int row = 0; row < table_->rowCount(); ++row) ShowRow(row, transfers[static_cast<size_t>(row)]);
  empty_note_->setVisible(transfers.empty());
}

// The widgets of a row stay from one reading to the next, so a button
// being pressed is not replaced under the pointer.
void TransfersWindow::ShowRow(int row, const TransferStatus& transfer) {
  const QString path = DecodeText(transfer.file);
  Cell(table_, row, kFile)->setText(QFileInfo(path).fileName());
  Cell(table_, row, kFile)->setToolTip(path);
  const QString peer = DecodeText(transfer.peer);
  Cell(table_, row, kPeer)->setText(transfer.download ? tr("from %1").arg(peer) : tr("to %1").arg(peer));
  QString bytes = FormatByteCount(transfer.bytes);
  if (transfer.total > 0) bytes = tr("%1 of %2").arg(bytes, FormatByteCount(transfer.total));
  Cell(table_, row, kBytes)->setText(bytes);
  Cell(table_, row, kRate)->setText(tr("%1/s").arg(FormatByteCount(static_cast<uint64_t>(transfer.bytes_per_second))));
  QProgressBar* bar = progressBar(row);
  if (bar == nullptr) {
    bar = new QProgressBar;
    table_->setCellWidget(row, kProgress, bar);
  }
  // A download's size is not told by the protocol: the bar only shows that it runs.
  const int permille =
      transfer.total > 0 ? static_cast<int>(std::min<uint64_t>(transfer.bytes, transfer.total) * 1000 / transfer.total)
                         : 0;
  bar->setRange(0, transfer.total > 0 ? 1000 : 0);
  bar->setValue(permille);
  // Only the download can be called off from here; an upload ends when its
  // receiver cancels or the file is withdrawn.
  if (!transfer.download) {
    table_->removeCellWidget(row, kCancel);
  } else if (cancelButton(row) == nullptr) {
    auto* cancel = new QPushButton(tr("Cancel"));
    connect(cancel, &QPushButton::clicked, this, [this] {
      services_.cancel_download();
      Refresh();
    });
    table_->setCellWidget(row, kCancel, cancel);
  }
}

void TransfersWindow::closeEvent(QCloseEvent* event) {
  SavePlacementOf(kPlacementKey);
  QMdiSubWindow::closeEvent(event);
  if (event->isAccepted()) {
    poll_.stop();
    services_.closed();
  }
}

}  // namespace vorn
