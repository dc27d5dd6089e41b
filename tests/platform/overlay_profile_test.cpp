#include "platform/overlay_profile.h"

#include <gtest/gtest.h>

#include "platform/memory_profile.h"

namespace vorn {
namespace {

// A form writes back the run's own address unchanged: not stored. A value
// the user changed is stored and used.
TEST(OverlayProfile, KeepsTheRunsValueOutOfTheStoredProfile) {
  MemoryProfile stored;
  OverlayProfile profile(stored);
  profile.Override("Misc", "my_ip", "127.0.0.7");
  EXPECT_TRUE(profile.WriteString("Misc", "my_ip", "127.0.0.7"));
  EXPECT_EQ(stored.GetString("Misc", "my_ip", "unset"), "unset");
  EXPECT_TRUE(profile.WriteString("Misc", "my_ip", "127.0.0.8"));
  EXPECT_EQ(stored.GetString("Misc", "my_ip", ""), "127.0.0.8");
  EXPECT_EQ(profile.GetString("Misc", "my_ip", ""), "127.0.0.8");
}

}  // namespace
}  // namespace vorn
