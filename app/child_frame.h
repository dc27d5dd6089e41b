#pragma once
// The MDI child frame of a text view. It remembers where its view sat,
// under the view's window key in the profile's "Windows" section.
#include "placed_sub_window.h"

namespace vorn {

class CVorn95View;

class CChildFrame final : public PlacedSubWindow {
  Q_OBJECT
 public:
  CChildFrame(CVorn95View* view, Profile& profile);

  CVorn95View* view() const { return view_; }
  // Shows the frame at its stored place and state, or as the MDI area
  // places new windows when nothing is stored.
  void ShowAtStoredPlacement();
  void SavePlacement();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  CVorn95View* view_;
};

}  // namespace vorn
