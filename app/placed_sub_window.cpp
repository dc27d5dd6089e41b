#include "placed_sub_window.h"

namespace vorn {

WindowRect ToWindowRect(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect FromWindowRect(const WindowRect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

QRect KeepInside(const QRect& window, const QRect& area) {
  QRect inside(window.topLeft(), window.size().boundedTo(area.size()));
  if (inside.right() > area.right()) inside.moveRight(area.right());
  if (inside.bottom() > area.bottom()) inside.moveBottom(area.bottom());
  if (inside.left() < area.left()) inside.moveLeft(area.left());
  if (inside.top() < area.top()) inside.moveTop(area.top());
  return inside;
}

void PlacedSubWindow::ShowAtPlacementOf(std::string_view key, QSize new_size, std::optional<QPoint> new_origin) {
  if (!RestoreWindowPlacement(profile_, key, stored_) || stored_.normal.IsEmpty()) {
    if (new_origin) {
      setGeometry(QRect(*new_origin, new_size));
    } else {
      resize(new_size);
    }
    show();
    // Where the area puts new windows may lie partly outside it.
    if (parentWidget() != nullptr) setGeometry(KeepInside(geometry(), parentWidget()->rect()));
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

WindowPlacement PlacedSubWindow::CurrentPlacement() const {
  WindowPlacement current;
  current.normal = ToWindowRect(normal_);
  current.show = isMinimized()   ? WindowPlacement::kMinimised
                 : isMaximized() ? WindowPlacement::kMaximised
                                 : WindowPlacement::kNormal;
  return current;
}

void PlacedSubWindow::SavePlacementOf(std::string_view key) {
  SaveWindowPlacement(profile_, key, CurrentPlacement(), stored_);
}

void PlacedSubWindow::moveEvent(QMoveEvent* event) {
  QMdiSubWindow::moveEvent(event);
  RememberNormalGeometry();
}

void PlacedSubWindow::resizeEvent(QResizeEvent* event) {
  QMdiSubWindow::resizeEvent(event);
  RememberNormalGeometry();
}

// Only the restored geometry is kept: a minimised or maximised window
// reopens at its normal size.
void PlacedSubWindow::RememberNormalGeometry() {
  if (!isMinimized() && !isMaximized() && isVisible()) normal_ = geometry();
}

}  // namespace vorn
