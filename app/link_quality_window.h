#pragma once
// The links to the other players as a player feels them: per link the round
// trip, its jitter and the loss over the last minute as a small graph, and
// whether loss protection sends each frame twice on it. Refreshed every
// second while open; at most one exists; it remembers its place under
// "Link Quality".
#include <QSize>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "net/link_monitor.h"
#include "placed_sub_window.h"
#include "platform/profile.h"

class QLabel;
class QTimer;
class QVBoxLayout;

namespace vorn {

struct LinkQualityServices {
  Profile& profile;
  std::function<std::vector<LinkReport>()> reports = [] { return std::vector<LinkReport>{}; };
  // The player at an address, for the row's title; empty when unknown.
  std::function<std::string(PeerAddress)> name = [](PeerAddress) { return std::string(); };
  // The window is closing; it is gone once control returns to the loop.
  std::function<void()> closed = [] {};
};

// One line of figures: "52 ms, jitter 4 ms, loss 4.8%, protected".
std::string LinkFigures(const LinkReport& report);

// The last minute of one link: the round trip as a line (blue), the loss of
// each second as bars from the bottom (red), protected seconds shaded.
class LinkGraph final : public QWidget {
 public:
  explicit LinkGraph(QWidget* parent = nullptr);
  void SetHistory(std::vector<LinkSecond> history);
  QSize sizeHint() const override { return {240, 48}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<LinkSecond> history_;
};

class LinkQualityWindow final : public PlacedSubWindow {
 public:
  static constexpr std::string_view kPlacementKey = "Link Quality";
  static constexpr QSize kInitialSize{300, 240};
  static constexpr int kRefreshMs = 1000;

  explicit LinkQualityWindow(LinkQualityServices services, QWidget* parent = nullptr);

  void ShowAtStoredPlacement();
  // Reads the reports again and rebuilds the rows.
  void Refresh();
  // The rows' titles and figures, for tests: "name (address): figures".
  std::vector<std::string> RowTexts() const { return row_texts_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ClearRows();

  LinkQualityServices services_;
  QWidget* pane_ = nullptr;
  QVBoxLayout* rows_ = nullptr;
  QLabel* empty_ = nullptr;
  QTimer* timer_ = nullptr;
  std::vector<std::string> row_texts_;
};

}  // namespace vorn
