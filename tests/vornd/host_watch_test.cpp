#include "host_watch.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"

namespace vorn {
namespace {

ClientEntries TwoPlayers() {
  ClientEntries entries{};
  entries[0].address = {0x7F000001, 2213};
  StoreFieldText(entries[0].nickname, "host", 15);
  entries[0].frames_relayed = 3;
  entries[0].bytes_relayed = 300;
  entries[2].address = {0x7F000001, 40000};
  StoreFieldText(entries[2].nickname, "b\"\xE9\n", 15);  // a stranger's bytes
  entries[2].pings_sent = 4;
  entries[2].ping_replies = 3;
  entries[2].average_ping_ms = 12;
  return entries;
}

TEST(HostWatch, TheTableAndTheDocumentShowEveryPlayerSafely) {
  const ClientEntries entries = TwoPlayers();
  const std::string table = PlayerTable(entries, 3725);
  EXPECT_EQ(table.rfind("vornd: players, up 1:02:05\n", 0), 0u) << table;
  EXPECT_NE(table.find("  host            127.0.0.1:2213                 -    0%          3          300\n"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("  b\"\xE9?            127.0.0.1:40000            12 ms   25%          0            0\n"),
            std::string::npos)
      << table;
  EXPECT_NE(PlayerTable(ClientEntries{}, 0).find("  (no players)\n"), std::string::npos);
  // The links, named by the player at each address.
  LinkReport measured{{0x7F000001, 40000}, true, true, 52, 4, 4.75, 0, 0, {}};
  LinkReport silent{{0x7F000001, 40001}, false, false, 0, 0, 0, 9, 0, {}};
  EXPECT_EQ(
      LinkTable({measured, silent}, entries),
      "vornd: links\n"
      "  b\"\xE9?            127.0.0.1:40000       round trip 52 ms, jitter 4 ms, loss 4.8%, protected\n"
      "  -               127.0.0.1:40001       no answer to probes (not a Vorn node), 9 frames sent, 0 received\n");
  EXPECT_EQ(StatsJson(entries, 61),
            "{\"uptime_s\":61,\"players\":["
            "{\"nickname\":\"host\",\"address\":\"127.0.0.1:2213\",\"round_trip_ms\":0,\"loss_percent\":0,"
            "\"frames_relayed\":3,\"bytes_relayed\":300},"
            "{\"nickname\":\"b\\\"\\u00e9\\u000a\",\"address\":\"127.0.0.1:40000\",\"round_trip_ms\":12,"
            "\"loss_percent\":25,\"frames_relayed\":0,\"bytes_relayed\":0}],"
            "\"frames_relayed\":3,\"bytes_relayed\":300}\n");
}

TEST(HostWatch, TheFileIsReplacedWholeOrLeftAlone) {
  TempDir dir;
  const std::string path = dir.File("stats.json");
  ASSERT_TRUE(ReplaceFile(path, "one"));
  ASSERT_TRUE(ReplaceFile(path, "two"));
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "two");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_FALSE(ReplaceFile(dir.File("none/stats.json"), "x"));
}

}  // namespace
}  // namespace vorn
