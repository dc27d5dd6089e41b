#include "settings/window_placement.h"

#include <gtest/gtest.h>

#include "platform/memory_profile.h"

namespace vorn {
namespace {

TEST(ParseWindowPlacement, NeedsAllFiveNumbers) {
  EXPECT_EQ(ParseWindowPlacement("10,20,300,400,3"), (WindowPlacement{{10, 20, 300, 400}, 3}));
  EXPECT_EQ(ParseWindowPlacement(" -4, +5,6,7,1 trailing"), (WindowPlacement{{-4, 5, 6, 7}, 1}));
  EXPECT_EQ(ParseWindowPlacement("-2147483648,0,0,0,1")->normal.left, -2147483647 - 1);
  for (const char* bad : {"", "1,2,3,4", "1,2,3,4,", "1 ,2,3,4,5", "1,2,x,4,5", "2147483648,0,0,0,1",
                          "99999999999999999999999,0,0,0,1"}) {
    EXPECT_EQ(ParseWindowPlacement(bad), std::nullopt) << bad;
  }
  WindowPlacement placement{{-8, -8, 1288, 1032}, 2};
  EXPECT_EQ(ParseWindowPlacement(FormatWindowPlacement(placement)), placement);
}

TEST(WindowPlacementStore, MaximisedWindowKeepsItsLastNormalRectangleOrTheGivenOne) {
  MemoryProfile profile;
  WindowPlacement stored;
  EXPECT_TRUE(SaveWindowPlacement(profile, "Vorn", {{10, 10, 500, 400}, 1}, stored));
  EXPECT_FALSE(SaveWindowPlacement(profile, "Vorn", {{10, 10, 500, 400}, 1}, stored));
  EXPECT_FALSE(SaveWindowPlacement(profile, "", {{0, 0, 9, 9}, 1}, stored));
  EXPECT_TRUE(SaveWindowPlacement(profile, "Vorn", {{0, 0, 1024, 768}, 3}, stored));
  EXPECT_EQ(profile.GetString("Windows", "Vorn", ""), "10,10,500,400,3");

  WindowPlacement restored;
  ASSERT_TRUE(RestoreWindowPlacement(profile, "Vorn", restored));
  EXPECT_EQ(restored, (WindowPlacement{{10, 10, 500, 400}, WindowPlacement::kMaximised}));

  profile.WriteString("Windows", "Chat List", "1,2,3");
  EXPECT_FALSE(RestoreWindowPlacement(profile, "Chat List", restored));
  EXPECT_EQ(restored.normal.right, 500);  // untouched

  // Closed maximised before any normal rectangle was seen: the given one.
  WindowPlacement fresh;
  SaveWindowPlacement(profile, "Server Messages", {{20, 30, 620, 430}, 3}, fresh);
  EXPECT_EQ(profile.GetString("Windows", "Server Messages", ""), "20,30,620,430,3");
}

}  // namespace
}  // namespace vorn
