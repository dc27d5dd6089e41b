#include "server/player_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace vorn {
namespace {

constexpr int64_t kNow = 1'000'000;

std::string Bars(size_t count) { return std::string(count, '\xC4'); }
std::string Spaces(size_t count) { return std::string(count, ' '); }
std::string AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

ClientEntry Player(uint32_t ip, uint16_t port, std::string_view nickname, int64_t connected_s) {
  ClientEntry entry;
  entry.address = {ip, port};
  StoreFieldText(entry.nickname, nickname, kNicknameField - 1);
  entry.connected_since_s = connected_s;
  return entry;
}

TEST(PlayerTables, NamesListStaysInsideFullFieldsAndLeavesOutRowsThatDoNotFit) {
  ClientEntries entries{};
  entries[0] = Player(0x7F000001, 2213, "alice", kNow);
  StoreFieldText(entries[0].real_name, "Alice Tester", kRealNameField);
  StoreFieldText(entries[0].email, "alice@example.org", kEmailField);
  entries[1] = Player(0x7F000001, 2214, "bob", kNow);
  entries[1].real_name.fill('R');  // full fields carry no terminating zero
  entries[1].email.fill('e');

  std::array<uint8_t, 2048> out{};
  const size_t size = BuildNamesList(out, entries);
  const std::string expected =
      "VORNw"
      " # Nickname        Real Name                 Email\n" +
      (" " + Bars(1) + " " + Bars(8) + Spaces(8) + Bars(9) + Spaces(17) + Bars(5) + "\n") +
      " 0 alice           Alice Tester              alice@example.org             \n"
      " 1 bob             RRRRRRRRRRRRRRRRRRRRRRRRR eeeeeeeeeeeeeeeeeeeeeeeeeeeeee\n" +
      std::string(1, '\0');
  EXPECT_EQ(AsText(std::span(out).first(size)), expected);
  // Rows that do not fit are left out whole, and the text stays terminated.
  std::array<uint8_t, 200> small{};
  const size_t cut = BuildNamesList(small, entries);
  EXPECT_EQ(AsText(std::span(small).first(cut)), expected.substr(0, expected.find(" 1 bob")) + '\0');
}

TEST(PlayerTables, MovedSocketsOfTwoGamesAreShownInsideTheField) {
  auto decorated = [](std::string_view name, uint16_t socket) {
    std::array<char, kProcessNameField> field{};
    StoreFieldText(field, name, 9);
    DecorateProcessName(field, socket);
    return std::string(ClientEntry::FieldText(field));
  };
  // Far from the usual socket the text is cut to the 15 characters the
  // field holds besides its zero.
  const std::tuple<std::string_view, uint16_t, std::string_view> cases[] = {
      {"DESCENTR", 0x5100, "DESCENTR"},  {"DESCENTR", 0x5103, "DESCENTR(+3)"},    {"DESCENTR", 0x50FE, "DESCENTR(-2)"},
      {"D2DEMO", 0x5100, "D2DEMO(-16)"}, {"DESCENTR", 0xFFFF, "DESCENTR(-20737"}, {"D2DEMO", 0xFFFF, "D2DEMO(-20753)"}};
  for (const auto& [name, socket, shown] : cases) EXPECT_EQ(decorated(name, socket), shown) << name << socket;
}

}  // namespace
}  // namespace vorn
