#include "connection/server_list_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "connection/client_fixture.h"

namespace vorn {
namespace {

// Each text is merged into a list that holds "Old" from a heap copy of
// exactly its size: the text is a view into a received datagram, and the
// address sanitizer tells a read past its end.
TEST(MergeServerListText, TakesWhatItCanUseAndNothingElseNeverReadingPastTheText) {
  const struct {
    std::string text;
    std::vector<ServerEntry> taken;
  } cases[] = {
      {Entry("Fourteen chars", "127.0.0.60") +                       // 14 characters and a blank
           Entry("Not dotted", "localhost") +                        // not an address
           Entry("Too long", "127.0.0.61" + std::string(22, '0')) +  // 32 characters
           Entry("Zero", "0.0.0.0") +                                // parses to 0
           Entry("Same, case", "127.0.0.50A") +                      // listed, in other letters
           Entry("Twice", "127.0.0.60", "  \n \r") +                 // listed by this very text
           Entry("Still read", "127.0.0.62", ""),
       {{"Fourteen chars", "127.0.0.60"}, {"Still read", "127.0.0.62"}}},
      // An address ends at any line end, the text at a zero.
      {Entry("A", "127.0.0.70", "\r\n") + Entry("B", "127.0.0.71", "\r") + Entry("C", "127.0.0.72", "\n") +
           std::string(1, '\0') + Entry("After", "127.0.0.81"),
       {{"A", "127.0.0.70"}, {"B", "127.0.0.71"}, {"C", "127.0.0.72"}}},
      // An address that never meets a gap takes nothing, nor hides the next
      // entry; a name field that never ends is no entry.
      {Entry("Endless", "127.0.0.1" + std::string(3000, '9'), " ") + Entry("Fine", "127.0.0.5") + std::string(15, 'N'),
       {{"Fine", "127.0.0.5"}}},
      // Control bytes and escapes in a name or an address; 8-bit text is a name.
      {Entry("Bell\aRinger", "127.0.0.20") + Entry("\x1b[2JClear", "127.0.0.21") + Entry("Del\x7f", "127.0.0.22") +
           Entry("Escape", "127.0.0.23\x1b[31m") + Entry("HighBit", "127.0.0.24\xff") + Entry("Tab", "127.0.0.25\t") +
           Entry("Caf\xe9", "127.0.0.26"),
       {{"Caf\xe9", "127.0.0.26"}}},
      {Entry("Cut", "127.0.0.90", ""), {{"Cut", "127.0.0.90"}}},
      {Entry("Cut", "127.0.0.9", "").substr(0, 20), {}},
      {"", {}},
      {std::string(4000, ' '), {}},
      {std::string(4000, 'x'), {}},
  };
  for (const auto& c : cases) {
    auto copy = std::make_unique<char[]>(c.text.size() + 1);
    c.text.copy(copy.get(), c.text.size());
    ServerList list;
    list.Add({"Old", "127.0.0.50a"});
    EXPECT_EQ(MergeServerListText(std::string_view(copy.get(), c.text.size()), list), c.taken.size()) << c.text;
    std::vector<ServerEntry> expected = {{"Old", "127.0.0.50a"}};
    expected.insert(expected.end(), c.taken.begin(), c.taken.end());
    EXPECT_EQ(list.entries(), expected) << c.text;
  }
}

}  // namespace
}  // namespace vorn
