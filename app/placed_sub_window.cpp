#include "placed_sub_window.h"

namespace vorn {

WindowRect ToWindowRect(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect FromWindowRect(const WindowRect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void PlacedSubWindow::ShowAtPlacementOf(std::string_view key, QSize new_size, std::optional<QPoint> new_origin) {
  if (!RestoreWindowPlacement(profile_, key, stored_) || stored_.normal.IsEmpty()) {
    if (new_origin) {
      setGeometry(QRect(*new_origin, new_size));
    } else {
      resize(new_size);
    }
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
