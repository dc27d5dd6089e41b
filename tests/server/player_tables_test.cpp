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

TEST(PlayerTables, PlayerListIsByteExact) {
  ClientEntries entries{};
  entries[0] = Player(0x7F000001, 2213, "alice", kNow - 59);
  StoreFieldText(entries[0].process_name, "Vorn95", 15);
  entries[0].pings_sent = 3;  // more replies than pings: no loss
  entries[0].ping_replies = 5;
  entries[2] = Player(0x0A010203, 40000, "bob_has_a_long_nickname", kNow - 60);
  StoreFieldText(entries[2].process_name, "DESCENTR(+3)", 15);
  entries[2].average_ping_ms = 130;
  entries[2].pings_sent = 10;
  entries[2].ping_replies = 7;
  entries[3] = Player(0xC0A864C8, 65535, "carol", kNow - 125 * 60 - 30);
  StoreFieldText(entries[3].process_name, "ABCDEFGHIJKLMNO", 15);
  entries[3].average_ping_ms = 99999;

  std::array<uint8_t, 2048> out{};
  const size_t size = BuildPlayerList(out, entries, kNow);
  const std::string expected =
      "VORNw"
      " # Nickname        IP Number       Port  Process        Time  Ping Loss\n" +
      (" " + Bars(1) + " " + Bars(8) + Spaces(8) + Bars(9) + Spaces(7) + Bars(4) + Spaces(2) + Bars(7) + Spaces(8) +
       Bars(4) + Spaces(2) + Bars(4) + " " + Bars(4) + "\n") +
      " 0 alice           127.0.0.1       2213  Vorn95            0     0    0\n"
      " 2 bob_has_a_long_ 10.1.2.3        40000 DESCENTR(+3)      1   130   30\n"
      " 3 carol           192.168.100.200 65535 ABCDEFGHIJKLM   125 99999    0\n" +
      std::string(1, '\0');
  EXPECT_EQ(AsText(std::span(out).first(size)), expected);
  // Rows that do not fit are left out whole, and the text stays terminated.
  std::array<uint8_t, 200> small{};
  const size_t cut = BuildPlayerList(small, entries, kNow);
  EXPECT_EQ(AsText(std::span(small).first(cut)), expected.substr(0, 5 + 72 + 72) + '\0');
}

TEST(PlayerTables, NamesListIsByteExactAndStaysInsideFullFields) {
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
      {"DESCENTR", 0x5100, "DESCENTR"},        {"DESCENTR", 0x5103, "DESCENTR(+3)"},
      {"DESCENTR", 0x50FE, "DESCENTR(-2)"},    {"D2DEMO", 0x5110, "D2DEMO"},
      {"D2DEMO", 0x5100, "D2DEMO(-16)"},       {"DOOM", 0x5103, "DOOM"},
      {"DESCENTR", 0xFFFF, "DESCENTR(-20737"}, {"D2DEMO", 0xFFFF, "D2DEMO(-20753)"}};
  for (const auto& [name, socket, shown] : cases) EXPECT_EQ(decorated(name, socket), shown) << name << socket;
}

}  // namespace
}  // namespace vorn
