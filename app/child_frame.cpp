#include "child_frame.h"

#include <QCloseEvent>

#include "vorn95_view.h"

namespace vorn {
namespace {

// A new window that has no stored placement.
constexpr QSize kDefaultViewSize{640, 380};

}  // namespace

WindowRect ToWindowRect(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect FromWindowRect(const WindowRect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

CChildFrame::CChildFrame(CVorn95View* view, Profile& profile) : view_(view), profile_(profile) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWidget(view);
  setWindowTitle(view->caption());
  setWindowIcon(view->windowIcon());
}

void CChildFrame::ShowAtStoredPlacement() {
  if (!RestoreWindowPlacement(profile_, view_->windowKey(), stored_) || stored_.normal.IsEmpty()) {
    resize(kDefaultViewSize);
    show();
    RememberNormalGeometry();
    return;
  }
  normal_ = FromWindowRect(stored_.normal);
  setGeometry(normal_);
  if (stored_.show == WindowPlacement::kMinimised) {
    showMinimized();
  } else if (stored_.show == WindowPlacement::kMaximised) {
    showMaximized();
  } else {
    show();
  }
}

WindowPlacement CChildFrame::CurrentPlacement() const {
  WindowPlacement current;
  current.normal = ToWindowRect(normal_);
  current.show = isMinimized()   ? WindowPlacement::kMinimised
                 : isMaximized() ? WindowPlacement::kMaximised
                                 : WindowPlacement::kNormal;
  return current;
}

void CChildFrame::SavePlacement() { SaveWindowPlacement(profile_, view_->windowKey(), CurrentPlacement(), stored_); }

void CChildFrame::closeEvent(QCloseEvent* event) {
  SavePlacement();
  QMdiSubWindow::closeEvent(event);
}

void CChildFrame::moveEvent(QMoveEvent* event) {
  QMdiSubWindow::moveEvent(event);
  RememberNormalGeometry();
}

void CChildFrame::resizeEvent(QResizeEvent* event) {
  QMdiSubWindow::resizeEvent(event);
  RememberNormalGeometry();
}

// Only the restored geometry is kept: a minimised or maximised window
// reopens at its normal size.
void CChildFrame::RememberNormalGeometry() {
  if (!isMinimized() && !isMaximized() && isVisible()) normal_ = geometry();
}

}  // namespace vorn
