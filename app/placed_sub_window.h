#pragma once
// An MDI child window that reopens where the player left it: its restored
// geometry and its state (normal, minimised, maximised) are kept in the
// profile's "Windows" section under the window's key.
#include <QMdiSubWindow>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>
#include <string_view>

#include "platform/profile.h"
#include "settings/window_placement.h"

namespace vorn {

// window moved (and, when larger, shrunk) so that all of it lies in area.
QRect KeepInside(const QRect& window, const QRect& area);

class PlacedSubWindow : public QMdiSubWindow {
 public:
  explicit PlacedSubWindow(Profile& profile, QWidget* parent = nullptr) : QMdiSubWindow(parent), profile_(profile) {}

  WindowPlacement CurrentPlacement() const;

 protected:
  // Shows the window at the place and state stored under `key`. With
  // nothing stored it gets `new_size`, at `new_origin` or, without one,
  // where the MDI area puts new windows.
  void ShowAtPlacementOf(std::string_view key, QSize new_size, std::optional<QPoint> new_origin);
  void SavePlacementOf(std::string_view key);
  Profile& profile() const { return profile_; }

  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void RememberNormalGeometry();

  Profile& profile_;
  WindowPlacement stored_;
  QRect normal_;
};

// A window's geometry as the placement's rectangle (right and bottom
// exclusive) and back.
WindowRect ToWindowRect(const QRect& rect);
QRect FromWindowRect(const WindowRect& rect);

}  // namespace vorn
