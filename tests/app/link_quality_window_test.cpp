// The link quality window: a row per link with its figures and a graph,
// names where the player is known, and a note while there is no traffic.
#include "link_quality_window.h"

#include <QMdiArea>

#include "app_harness.h"

namespace vorn {
namespace {

TEST(LinkQualityWindowTest, ShowsEachLinkWithItsFiguresAndSaysWhenThereIsNone) {
  MemoryProfile profile;
  std::vector<LinkReport> reports;
  LinkQualityServices services{profile};
  services.reports = [&] { return reports; };
  services.name = [](PeerAddress peer) { return peer.port == 4000 ? std::string("alice") : std::string(); };
  QMdiArea area;
  auto* window = new LinkQualityWindow(std::move(services));
  area.addSubWindow(window);
  area.show();
  window->ShowAtStoredPlacement();
  window->Refresh();
  EXPECT_TRUE(window->RowTexts().empty());

  LinkReport alice{{0x7F000001, 4000}, true, true, 52, 4, 4.8};
  alice.history.assign(60, LinkSecond{52, 4, 35, 2, true});
  reports = {alice, LinkReport{{0x7F000001, 4001}}};
  window->Refresh();
  EXPECT_EQ(window->RowTexts(), (std::vector<std::string>{
                                    "alice (127.0.0.1:4000): 52 ms, jitter 4 ms, loss 4.8%, protected",
                                    "(127.0.0.1:4001): no answer to probes: an older program, nothing measured"}));
  window->grab();  // the graphs paint a full minute without trouble
  window->close();
  EXPECT_FALSE(profile.GetString("Windows", "Link Quality", "").empty());
}

}  // namespace
}  // namespace vorn
