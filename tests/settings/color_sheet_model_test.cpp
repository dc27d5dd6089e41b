#include "settings/color_sheet_model.h"

#include <gtest/gtest.h>


namespace vorn {
namespace {

using Names = std::vector<std::string>;

TEST(NicknameColors, ListsIgnoringLetterCase) {
  const NicknameColors colors({{"bob", 1}, {"Ann", 2}, {"ann", 3}, {"Carl", 4}}, 0);
  EXPECT_EQ(colors.Nicknames(), (Names{"Ann", "ann", "bob", "Carl"}));
}

TEST(NicknameColors, EnsureKeepsAColourAddResetsIt) {
  constexpr uint32_t kChat = 0x00112233;
  NicknameColors colors({{"Ann", 7}}, kChat);
  colors.Ensure("Ann");
  colors.Ensure("Bob");
  EXPECT_EQ(colors.ColorOf("Ann"), 7u);
  EXPECT_EQ(colors.ColorOf("Bob"), kChat);
  colors.Add("Ann");
  EXPECT_EQ(colors.ColorOf("Ann"), kChat);
  EXPECT_EQ(colors.ColorOf("Nobody"), kChat);
  EXPECT_FALSE(colors.Contains("Nobody"));
  EXPECT_TRUE(colors.Remove("Ann"));
  EXPECT_FALSE(colors.Remove("Ann"));
  EXPECT_EQ(colors.Nicknames(), Names{"Bob"});
}

}  // namespace
}  // namespace vorn
