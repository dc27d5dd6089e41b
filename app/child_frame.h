#pragma once
// The MDI child frame of a text view. It remembers where its view sat,
// under the view's window key in the profile's "Windows" section.
#include <QMdiSubWindow>
#include <QRect>

#include "platform/profile.h"
#include "settings/window_placement.h"

namespace vorn {

class CVorn95View;

class CChildFrame final : public QMdiSubWindow {
  Q_OBJECT
 public:
  CChildFrame(CVorn95View* view, Profile& profile);

  CVorn95View* view() const { return view_; }
  // Shows the frame at its stored place and state, or as the MDI area
  // places new windows when nothing is stored.
  void ShowAtStoredPlacement();
  void SavePlacement();
  WindowPlacement CurrentPlacement() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void RememberNormalGeometry();

  CVorn95View* view_;
  Profile& profile_;
  WindowPlacement stored_;
  QRect normal_;
};

// A window's geometry as the placement's rectangle (right and bottom
// exclusive) and back.
WindowRect ToWindowRect(const QRect& rect);
QRect FromWindowRect(const WindowRect& rect);

}  // namespace vorn
