#include "connection/server_list_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vorn {
namespace {

std::string Entry(std::string_view name, std::string_view address, std::string_view gap = "\r\n") {
  std::string field(name);
  field.resize(15, ' ');
  return field + " " + std::string(address) + std::string(gap);
}

TEST(MergeServerListText, TakesNamesWithoutTheirPaddingAndSkipsWhatItCannotUse) {
  ServerList list;
  list.Add({"Old", "127.0.0.50a"});
  const std::string text = Entry("Fourteen chars", "127.0.0.60") +      // 14 characters and a blank
                           Entry("Not dotted", "localhost") +          // not an address
                           Entry("Too long", "127.0.0.61" + std::string(22, '0')) +  // 32 characters
                           Entry("Zero", "0.0.0.0") +                  // parses to 0
                           Entry("Same, case", "127.0.0.50A") +        // listed, in other letters
                           Entry("Twice", "127.0.0.60", "  \n \r") +   // listed by this very text
                           Entry("Still read", "127.0.0.62", "");
  EXPECT_EQ(MergeServerListText(text, list), 2u);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], (ServerEntry{"Old", "127.0.0.50a"}));
  EXPECT_EQ(list[1], (ServerEntry{"Fourteen chars", "127.0.0.60"}));
  EXPECT_EQ(list[2], (ServerEntry{"Still read", "127.0.0.62"}));
}

TEST(MergeServerListText, AnAddressEndsAtAnyLineEndAndTheTextAtAZeroOrAnEntryCutShort) {
  ServerList list;
  EXPECT_EQ(MergeServerListText(Entry("A", "127.0.0.70", "\r\n") + Entry("B", "127.0.0.71", "\r"), list), 2u);
  EXPECT_EQ(MergeServerListText(Entry("A again", "127.0.0.70", "\n"), list), 0u);
  std::string text = Entry("Before", "127.0.0.80") + std::string(1, '\0') + Entry("After", "127.0.0.81");
  EXPECT_EQ(MergeServerListText(text, list), 1u);
  EXPECT_EQ(MergeServerListText("Only a name", list), 0u);
  EXPECT_EQ(MergeServerListText("", list), 0u);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1].address, "127.0.0.71");
}

// The text is a view into a received datagram: nothing after its last byte
// may be read. Heap copies of exact size let the address sanitizer tell.
TEST(MergeServerListText, NeverReadsPastAnUnterminatedText) {
  for (const std::string& text : {Entry("Cut", "127.0.0.90", ""), Entry("Cut", "127.0.0.9", "").substr(0, 20),
                                  std::string(15, ' '), std::string(4000, ' '), std::string(4000, 'x')}) {
    auto copy = std::make_unique<char[]>(text.size());
    text.copy(copy.get(), text.size());
    ServerList list;
    MergeServerListText(std::string_view(copy.get(), text.size()), list);
    EXPECT_LE(list.size(), 1u);
  }
}

}  // namespace
}  // namespace vorn
