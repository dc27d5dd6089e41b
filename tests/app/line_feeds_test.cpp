#include "line_feeds.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

const std::string kDash(1, static_cast<char>(0xC4));

TEST(LineFeeds, DecidesOnTheFirstLineFeedOrDash) {
  EXPECT_TRUE(NeedsLineFeedConversion("one\ntwo\n"));
  EXPECT_FALSE(NeedsLineFeedConversion("one\r\ntwo\r\n"));
  EXPECT_FALSE(NeedsLineFeedConversion("one\n\rtwo"));      // CR after the line feed
  EXPECT_FALSE(NeedsLineFeedConversion("\nleading feed"));  // at the first byte
  EXPECT_FALSE(NeedsLineFeedConversion("no line end"));
  EXPECT_TRUE(NeedsLineFeedConversion("a" + kDash + "b"));  // a dash without any line feed
  EXPECT_FALSE(NeedsLineFeedConversion("a\r\n" + kDash));   // the line feed decides first
}

TEST(LineFeeds, BareLineFeedsBecomeCrLfAndCrLfStaysUnchanged) {
  EXPECT_EQ(PrepareForView("one\ntwo\n"), "one\r\ntwo\r\n");
  EXPECT_EQ(PrepareForView("one\r\ntwo\r\n"), "one\r\ntwo\r\n");
  // A line that has its CR in a converted text keeps exactly one.
  EXPECT_EQ(ConvertLineFeeds("one\ntwo\r\n"), "one\r\ntwo\r\n");
}

TEST(LineFeeds, DashesBecomeMinusOnlyWhenConverted) {
  EXPECT_EQ(PrepareForView("a" + kDash + kDash + "b\n"), "a--b\r\n");
  EXPECT_EQ(PrepareForView("a\r\n" + kDash), "a\r\n" + kDash);
}

// Nothing the conversion handles is lost: the last piece without a line
// feed, a text of one dashed piece, and a line longer than any buffer.
TEST(LineFeeds, KeepsEveryByte) {
  EXPECT_EQ(PrepareForView("first\nsecond"), "first\r\nsecond");
  EXPECT_EQ(PrepareForView("rule " + kDash + kDash), "rule --");
  const std::string long_line(1000, 'x');
  EXPECT_EQ(PrepareForView("a\n" + long_line + "\n"), "a\r\n" + long_line + "\r\n");
}

}  // namespace
}  // namespace vorn
