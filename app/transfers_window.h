#pragma once
// The transfers window: one row per running transfer with its file, the
// peer, the bytes so far, the rate, a progress bar and, for the download,
// a Cancel button. While it is open it reads the chat's transfers every
// half second. At most one exists; it remembers its place under
// "Transfers".
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "chat/chat.h"
#include "placed_sub_window.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vorn {

struct TransfersServices {
  Profile& profile;
  std::function<std::vector<TransferStatus>()> transfers = [] { return std::vector<TransferStatus>{}; };
  std::function<void()> cancel_download = [] {};
  // The window is closing; it is gone once control returns to the loop.
  std::function<void()> closed = [] {};
};

// "532 bytes", "12.3 KB", "4.5 MB": what a person reads at a glance.
QString FormatByteCount(uint64_t bytes);

class TransfersWindow final : public PlacedSubWindow {
  Q_OBJECT
 public:
  static constexpr int kPollMs = 500;
  static constexpr std::string_view kPlacementKey = "Transfers";
  static constexpr QSize kInitialSize{560, 180};
  enum Column { kFile, kPeer, kBytes, kRate, kProgress, kCancel, kColumns };

  explicit TransfersWindow(TransfersServices services, QWidget* parent = nullptr);

  void ShowAtStoredPlacement() { ShowAtPlacementOf(kPlacementKey, kInitialSize, std::nullopt); }
  // Reads the transfers again.
  void Refresh();

  QTableWidget* table() const { return table_; }
  QLabel* emptyNote() const { return empty_note_; }
  QProgressBar* progressBar(int row) const;
  QPushButton* cancelButton(int row) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowRow(int row, const TransferStatus& transfer);

  TransfersServices services_;
  QTableWidget* table_ = nullptr;
  QLabel* empty_note_ = nullptr;
  QTimer poll_;
};

}  // namespace vorn
