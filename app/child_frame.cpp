#include "child_frame.h"

#include <QCloseEvent>

#include "vorn95_view.h"

namespace vorn {
namespace {

// A new window that has no stored placement.
constexpr QSize kDefaultViewSize{640, 380};

}  // namespace

CChildFrame::CChildFrame(CVorn95View* view, Profile& profile) : PlacedSubWindow(profile), view_(view) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWidget(view);
  setWindowTitle(view->caption());
  setWindowIcon(view->windowIcon());
}

void CChildFrame::ShowAtStoredPlacement() { ShowAtPlacementOf(view_->windowKey(), kDefaultViewSize, std::nullopt); }

void CChildFrame::SavePlacement() { SavePlacementOf(view_->windowKey()); }

void CChildFrame::closeEvent(QCloseEvent* event) {
  SavePlacement();
  QMdiSubWindow::closeEvent(event);
}

}  // namespace vorn
