#include "settings/window_placement.h"

#include <gtest/gtest.h>

#include "platform/memory_profile.h"

namespace vorn {
namespace {

// A stored placement that is cut or holds a number beyond int is ignored; a
// window closed maximised keeps its last normal rectangle.
TEST(WindowPlacementStore, IgnoresWhatDoesNotParseAndAMaximisedWindowKeepsItsNormalRectangle) {
  for (const char* bad : {"1,2,3,4", "1,2,x,4,5", "2147483648,0,0,0,1"}) {
    EXPECT_EQ(ParseWindowPlacement(bad), std::nullopt) << bad;
  }
  MemoryProfile profile;
  WindowPlacement stored;
  EXPECT_TRUE(SaveWindowPlacement(profile, "Vorn", {{10, 10, 500, 400}, 1}, stored));
  EXPECT_TRUE(SaveWindowPlacement(profile, "Vorn", {{0, 0, 1024, 768}, 3}, stored));
  WindowPlacement restored;
  ASSERT_TRUE(RestoreWindowPlacement(profile, "Vorn", restored));
  EXPECT_EQ(restored, (WindowPlacement{{10, 10, 500, 400}, WindowPlacement::kMaximised}));
}

}  // namespace
}  // namespace vorn
