#include "link_quality_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/text.h"
#include "text_convert.h"

namespace vorn {
namespace {

// The graph's scale never goes below this, so a steady 20 ms link does not
// look like a wildly changing one.
constexpr int32_t kMinScaleMs = 100;
const QColor kRoundTripColour(0x1F, 0x4E, 0xC8);
const QColor kLossColour(0xD0, 0x30, 0x30);
const QColor kProtectedShade(0xE4, 0xF2, 0xE4);

}  // namespace

std::string LinkFigures(const LinkReport& report) {
  if (!report.answers) return "no answer to probes: an older program, nothing measured";
  return Format("%d ms, jitter %d ms, loss %.1f%%, %s", report.rtt_ms, report.jitter_ms, report.loss_percent,
                report.protecting ? "protected" : "unprotected");
}

LinkGraph::LinkGraph(QWidget* parent) : QWidget(parent) {
  setMinimumHeight(40);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LinkGraph::SetHistory(std::vector<LinkSecond> history) {
  history_ = std::move(history);
  update();
}

void LinkGraph::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  painter.setPen(palette().mid().color());
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  if (history_.empty()) return;
  const int32_t top = std::max(kMinScaleMs, std::max_element(history_.begin(), history_.end(), [](auto& a, auto& b) {
                                              return a.rtt_ms < b.rtt_ms;
                                            })->rtt_ms);
  const double step = static_cast<double>(width() - 2) / static_cast<double>(LinkStats::kHistory);
  const int h = height() - 2;
  const double left = width() - 1 - step * static_cast<double>(history_.size());
  QPolygonF line;
  for (size_t i = 0; i < history_.size(); ++i) {
    const LinkSecond& second = history_[i];
    const double x = left + step * static_cast<double>(i);
    if (second.protecting) painter.fillRect(QRectF(x, 1, step, h), kProtectedShade);
    const double loss = second.sent > 0 ? std::clamp(double(second.lost) / second.sent, 0.0, 1.0) : 0.0;
    // A tenth lost fills the height: the losses that matter are small.
    painter.fillRect(QRectF(x, 1 + h * (1 - std::min(loss * 10, 1.0)), step, h * std::min(loss * 10, 1.0)),
                     kLossColour);
    line << QPointF(x + step / 2, 1 + h * (1 - double(second.rtt_ms) / top));
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kRoundTripColour, 1.5));
  painter.drawPolyline(line);
}

LinkQualityWindow::LinkQualityWindow(LinkQualityServices services, QWidget* parent)
    : PlacedSubWindow(services.profile, parent), services_(std::move(services)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(tr("Link Quality"));
  auto* scroll = new QScrollArea;
  scroll->setWidgetResizable(true);
  pane_ = new QWidget;
  rows_ = new QVBoxLayout(pane_);
  empty_ = new QLabel(tr("No game traffic yet: the links appear once frames flow."));
  empty_->setWordWrap(true);
  rows_->addWidget(empty_);
  rows_->addStretch();
  scroll->setWidget(pane_);
  setWidget(scroll);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &LinkQualityWindow::Refresh);
  timer_->start(kRefreshMs);
}

void LinkQualityWindow::ShowAtStoredPlacement() { ShowAtPlacementOf(kPlacementKey, kInitialSize, std::nullopt); }

void LinkQualityWindow::ClearRows() {
  while (rows_->count() > 2) {  // the empty note and the stretch stay
    QLayoutItem* item = rows_->takeAt(1);
    delete item->widget();
    delete item;
  }
}

void LinkQualityWindow::Refresh() {
  ClearRows();
  row_texts_.clear();
  const std::vector<LinkReport> reports = services_.reports();
  empty_->setVisible(reports.empty());
  int at = 1;
  for (const LinkReport& report : reports) {
    std::string name = services_.name(report.peer);
    const std::string title = (name.empty() ? "" : name + " ") + "(" + FormatPeer(report.peer) + ")";
    row_texts_.push_back(title + ": " + LinkFigures(report));
    auto* label = new QLabel(DecodeText(title) + QStringLiteral("\n") + QString::fromStdString(LinkFigures(report)));
    auto* graph = new LinkGraph;
    graph->SetHistory(report.history);
    rows_->insertWidget(at++, label);
    rows_->insertWidget(at++, graph);
  }
}

void LinkQualityWindow::closeEvent(QCloseEvent* event) {
  SavePlacementOf(kPlacementKey);
  timer_->stop();
  services_.closed();
  event->accept();
}

}  // namespace vorn
