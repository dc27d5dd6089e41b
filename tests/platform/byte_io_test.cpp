#include "platform/byte_io.h"

#include <gtest/gtest.h>

#include <array>

namespace vorn {
namespace {

TEST(ByteReader, ReadsEachByteOrderAndStopsAtTheEnd) {
  const std::array<uint8_t, 7> bytes = {0x12, 0x34,   // big-endian 0x1234
                                        0x78, 0x56,   // little-endian 0x5678
                                        0xAA, 0xBB, 0xCC};
  ByteReader r(bytes);
  EXPECT_EQ(r.U16Be(), 0x1234);
  EXPECT_EQ(r.U16Le(), 0x5678);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.U32Be(), 0u);  // only three bytes left
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.U8(), 0);  // stays failed
  EXPECT_EQ(r.remaining(), 0u);
}

TEST(ByteReader, FixedTextNeverRunsPastItsField) {
  const std::array<uint8_t, 6> bytes = {'a', 'b', 'c', 'd', 0, 'x'};
  ByteReader full(bytes);
  EXPECT_EQ(full.FixedText(3), "abc");  // field filled without a terminator
  EXPECT_EQ(full.RestText(), "d");       // stops at the zero
  ByteReader unterminated(std::span<const uint8_t>(bytes).first(4));
  EXPECT_EQ(unterminated.RestText(), "abcd");
}

TEST(ByteWriter, WritesFieldsAndRefusesOverflow) {
  std::array<uint8_t, 8> out{};
  ByteWriter w(out);
  w.U32Le(0x01020304);
  w.TerminatedText("hello", 4);  // "hel" and its zero
  EXPECT_TRUE(w.ok());
  EXPECT_EQ(out[0], 0x04);
  EXPECT_EQ(out[4], 'h');
  EXPECT_EQ(out[7], 0);
  w.U8(1);
  EXPECT_FALSE(w.ok());
  EXPECT_EQ(w.size(), 8u);
}

}  // namespace
}  // namespace vorn
