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

// The whole table and document are read back by the vornd process tests;
// here a stranger's nickname, which must neither break a row nor the JSON.
TEST(HostWatch, TheTableAndTheDocumentShowAStrangersNicknameSafely) {
  const ClientEntries entries = TwoPlayers();
  const std::string table = PlayerTable(entries, 3725);
  EXPECT_EQ(table.rfind("vornd: players, up 1:02:05\n", 0), 0u) << table;
  EXPECT_NE(table.find("  b\"\xE9?            127.0.0.1:40000            12 ms   25%          0            0\n"),
            std::string::npos)
      << table;
  const std::string json = StatsJson(entries, 61);
  EXPECT_NE(json.find("{\"nickname\":\"b\\\"\\u00e9\\u000a\",\"address\":\"127.0.0.1:40000\","), std::string::npos)
      << json;
  EXPECT_TRUE(json.ends_with("],\"frames_relayed\":3,\"bytes_relayed\":300}\n")) << json;
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
