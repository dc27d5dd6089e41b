#include "platform/text.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

// "é" is C3 A9, "€" E2 82 AC; a lone E9 is Latin-1 "é" from an old client.
TEST(Utf8Text, CutsPadsAndDecodesByCharacter) {
  struct Case {
    std::string_view text;
    size_t max_bytes;
    std::string_view cut;
  };
  for (const Case& c :
       {Case{"abcdef", 4, "abcd"}, Case{"a\xE2\x82\xAC", 3, "a"}, Case{"\xC3\xA9\xC3\xA9", 3, "\xC3\xA9"},
        Case{"ab\xE9\xE9", 3, "ab\xE9"}, Case{"\xE2\x82", 1, "\xE2"}}) {
    EXPECT_EQ(Truncate(c.text, c.max_bytes), c.cut) << c.text;
  }
  EXPECT_EQ(PadColumn("<Bob>", 8), "<Bob>   ");
  EXPECT_EQ(PadColumn("J\xC3\xBCrgen", 8), "J\xC3\xBCrgen  ");
  EXPECT_EQ(PadColumn("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 2), "\xE2\x82\xAC\xE2\x82\xAC");
  EXPECT_TRUE(IsValidUtf8("plain \xC4\x85"));
  for (std::string_view bad : {"\xC4-", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
  }
  EXPECT_EQ(ToValidUtf8("\xE9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(CharacterCount("\xE9t\xC3\xA9"), 3u);
  EXPECT_EQ(SplitOnCharacters("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 7),
            (std::vector<std::string_view>{"\xE2\x82\xAC\xE2\x82\xAC", "\xE2\x82\xAC"}));
}

}  // namespace
}  // namespace vorn
