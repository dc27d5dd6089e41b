#include "settings/user_games_model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "support/temp_dir.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

void WriteScript(const fs::path& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  fs::permissions(path, fs::perms::owner_all);
}

TEST(FileFilters, KeepTheirTextsAndPatternsAsWritten) {
  const std::vector<FileFilter> games = ParseFileFilter(kGameFileFilter);
  ASSERT_EQ(games.size(), 2u);
  EXPECT_EQ(games[0].description, " Game Files (*.exe;*.bat;*.com;*.PIF;*.lnk;*.btm) ");
  EXPECT_EQ(games[0].patterns, (Words{"*.exe", "*.bat", "*.com", "*.lnk", "*.btm"}));
  EXPECT_EQ(games[1].description, " All Files (*.*) ");
  EXPECT_EQ(games[1].patterns, Words{"*.*"});

  EXPECT_EQ(ParseFileFilter(kIconFileFilter).size(), 3u);
  EXPECT_TRUE(ParseFileFilter("").empty());
  EXPECT_EQ(ParseFileFilter("Text|*.txt|dangling").size(), 1u);
}

TEST(FileFilters, MatchAsWhereNamesIgnoreCase) {
  EXPECT_EQ(CaseInsensitiveGlob("*.exe"), "*.[eE][xX][eE]");
  EXPECT_EQ(CaseInsensitiveGlob("*.PIF"), "*.[pP][iI][fF]");
  EXPECT_EQ(CaseInsensitiveGlob("*.*"), "*");
}

TEST(BrowseDirectory, TakesTheDirectoryOfAnAbsolutePathOrTheFallback) {
  EXPECT_EQ(BrowseDirectory("/games/duel/duel.exe", "/other"), "/games/duel");
  EXPECT_EQ(BrowseDirectory("/duel.exe", "/other"), "/");
  EXPECT_EQ(BrowseDirectory("duel.exe", "/other"), "/other");
  EXPECT_EQ(BrowseDirectory("", "/other"), "/other");
  EXPECT_EQ(BrowseDirectory("", ""), "");
}

TEST(UserGameCommand, IsProgramBlankArgumentsWithoutATrailingBlank) {
  EXPECT_EQ(UserGameCommandLine(UserGame{"Duel", "/games/duel", "-net 2", "", ""}), "/games/duel -net 2");
  EXPECT_EQ(UserGameCommandLine(UserGame{"Duel", "/games/duel", "", "", ""}), "/games/duel");
  // Program and arguments split as one line (the quoting rules are SplitCommandLine's).
  EXPECT_EQ(UserGameArgv(UserGame{"D", "dosbox -conf d.conf", "-c 'a b'", "", ""}),
            (Words{"dosbox", "-conf", "d.conf", "-c", "a b"}));
  EXPECT_FALSE(UserGameArgv(UserGame{"D", "dosbox", "-c 'open", "", ""}).has_value());
}

// A browsed path with blanks is one word; a relative one counts from the
// game's directory, where it starts.
TEST(UserGameCommand, KeepsAnExistingProgramPathWhole) {
  TempDir dir;
  fs::create_directory(dir.path() / "my games");
  WriteScript(dir.path() / "my games" / "run game", "exit 0");
  const std::string program = (dir.path() / "my games" / "run game").string();
  EXPECT_EQ(UserGameArgv(UserGame{"G", program, "-x 'y z'", "", ""}), (Words{program, "-x", "y z"}));
  EXPECT_EQ(UserGameArgv(UserGame{"G", "my games/run game", "", dir.path().string(), ""}), Words{"my games/run game"});
  EXPECT_EQ(UserGameArgv(UserGame{"G", "my games/none", "", dir.path().string(), ""}), (Words{"my", "games/none"}));
}

TEST(GamePage, MayBeLeftUnlessEditedIntoAnIncompleteSlot) {
  const UserGame title_only{"Duel", "", "", "", ""};
  EXPECT_TRUE(MayLeaveGamePage(title_only, false));
  EXPECT_FALSE(MayLeaveGamePage(title_only, true));
  EXPECT_FALSE(MayLeaveGamePage(UserGame{"", "/games/duel", "", "", ""}, true));
  EXPECT_FALSE(MayLeaveGamePage(UserGame{"", "", "", "", "duel.ico"}, true));
  EXPECT_TRUE(MayLeaveGamePage(UserGame{}, true));
  EXPECT_TRUE(MayLeaveGamePage(UserGame{"Duel", "/games/duel", "", "", ""}, true));
}

}  // namespace
}  // namespace vorn
