// The transfers window: its rows follow the chat's transfers while it is
// open, and Cancel calls off the download.
#include "transfers_window.h"

#include <QLabel>
#include <QMdiArea>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include "app_harness.h"
#include "artwork.h"

namespace vorn {
namespace {

TEST(TransfersWindow, RowsFollowTheTransfersAndCancelEndsTheDownload) {
  for (const auto& [bytes, text] : std::vector<std::pair<uint64_t, QString>>{
           {0, "0 bytes"}, {1023, "1023 bytes"}, {1536, "1.5 KB"}, {5u << 20, "5.0 MB"}, {3ull << 30, "3.0 GB"}}) {
    EXPECT_EQ(FormatByteCount(bytes), text);
  }
  MemoryProfile profile;
  std::vector<TransferStatus> transfers;
  TransfersServices services{profile};
  services.transfers = [&] { return transfers; };
  services.cancel_download = [&] { transfers.erase(transfers.begin()); };
  QMdiArea area;
  area.resize(800, 400);
  area.show();
  auto* window = new TransfersWindow(std::move(services));
  area.addSubWindow(window);
  window->ShowAtStoredPlacement();
  EXPECT_EQ(window->table()->rowCount(), 0);
  EXPECT_FALSE(window->emptyNote()->isHidden());

  transfers = {{true, "/home/u/Downloads/map.zip", "Bob", 1536, 0, 2048}, {false, "save.dat", "Ann", 250, 1000, 100}};
  ASSERT_TRUE(ProcessUntil([&] { return window->table()->rowCount() == 2; }));
  const auto row = [&](int r) {
    QStringList cells;
    for (int c = TransfersWindow::kFile; c <= TransfersWindow::kRate; ++c) cells << window->table()->item(r, c)->text();
    return cells;
  };
  EXPECT_EQ(row(0), (QStringList{"map.zip", "from Bob", "1.5 KB", "2.0 KB/s"}));
  EXPECT_EQ(window->table()->item(0, TransfersWindow::kFile)->toolTip(), "/home/u/Downloads/map.zip");
  EXPECT_EQ(row(1), (QStringList{"save.dat", "to Ann", "250 bytes of 1000 bytes", "100 bytes/s"}));
  EXPECT_EQ(window->progressBar(1)->value() * 4, window->progressBar(1)->maximum());
  EXPECT_TRUE(window->emptyNote()->isHidden());
  EXPECT_EQ(window->cancelButton(1), nullptr);  // only the download is ours to call off

  window->cancelButton(0)->click();
  EXPECT_EQ(window->table()->rowCount(), 1);
  EXPECT_EQ(row(0)[0], "save.dat");
}

// docs/screenshot-transfers.png: a download and an upload.
TEST(TransfersWindow, Screenshot) {
  MemoryProfile profile;
  TransfersServices services{profile};
  services.transfers = [] {
    return std::vector<TransferStatus>{{true, "/home/ann/Downloads/dune2-maps.zip", "Bob", 734003, 0, 245000},
                                       {false, "/home/ann/games/warcraft-save.w2s", "Cy", 1310720, 2097152, 412000}};
  };
  QMdiArea area;
  area.resize(680, 190);
  auto* window = new TransfersWindow(std::move(services));
  window->setWindowIcon(AppIcon());
  area.addSubWindow(window);
  area.show();
  window->setGeometry(0, 0, 680, 190);
  SaveScreenshot("VORN_TRANSFERS_SCREENSHOT", area);
}

}  // namespace
}  // namespace vorn
