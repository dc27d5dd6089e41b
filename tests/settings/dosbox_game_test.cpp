#include "settings/dosbox_game.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

// The first emulator in PATH order of names, a user's path before all, and
// a reason in words when there is none.
TEST(FindDosbox, PrefersTheUsersPathThenTheNamesInOrder) {
  TempDir dir;
  fs::create_directories(dir.path() / "a");
  fs::create_directories(dir.path() / "b");
  for (const fs::path& file :
       {dir.path() / "a" / "dosbox-x", dir.path() / "b" / "dosbox-staging", dir.path() / "b" / "plain"}) {
    std::ofstream(file) << "#!/bin/sh\n";
    fs::permissions(file, file.filename() == "plain" ? fs::perms::owner_read : fs::perms::owner_all);
  }
  const std::string path_env = ":" + dir.File("a") + ":" + dir.File("b");
  std::string why;
  EXPECT_EQ(FindDosbox("", path_env, why), dir.File("b") + "/dosbox-staging");
  EXPECT_EQ(FindDosbox("dosbox-x", path_env, why), dir.File("a") + "/dosbox-x");
  EXPECT_EQ(FindDosbox(dir.File("a") + "/dosbox-x", "", why), dir.File("a") + "/dosbox-x");
  EXPECT_FALSE(FindDosbox(dir.File("b") + "/plain", path_env, why));
  EXPECT_EQ(why, "The DOSBox program " + dir.File("b") + "/plain was not found or cannot be run.");
  EXPECT_FALSE(FindDosbox("", dir.File("none"), why));
  EXPECT_EQ(why.rfind("DOSBox was not found: install dosbox, dosbox-staging or dosbox-x", 0), 0u);
}

// What the configuration runs is the one-click games' end-to-end test's
// (DosboxEndToEnd); here what it refuses and where it is written.
TEST(DosboxConfig, RefusesWhatCannotBeMountedAndIsWrittenAtEachStart) {
  std::string why;
  const struct {
    UserGame game;
    std::string_view why;
  } refused[] = {
      {{"T", "T.EXE", "", "", ""}, "A DOSBox game needs its folder and its program."},
      {{"T", "/other/T.EXE", "", "/games", ""}, "The program /other/T.EXE is not inside the game folder /games."},
      {{"T", "/games2/T.EXE", "", "/games", ""}, "The program /games2/T.EXE is not inside the game folder /games."},
      {{"T", "T.EXE", "a\nexit", "/games", ""},
       "The game folder, program and arguments must not hold quotes or line ends."},
  };
  for (const auto& c : refused) {
    EXPECT_FALSE(DosboxConfigText(c.game, 1, why)) << c.game.program;
    EXPECT_EQ(why, c.why);
  }

  // Prepared, the file is written and the user's own configuration read first.
  TempDir dir;
  UserGame game{"T", "T.EXE", "", dir.path().string(), ""};
  game.dosbox_config = "/home/me/.dosbox/mine.conf";
  const std::optional<DosboxStart> start = PrepareDosboxGame(game, "/usr/bin/dosbox", 7, dir.File("g.conf"), why);
  ASSERT_TRUE(start) << why;
  EXPECT_EQ(start->argv, (std::vector<std::string>{"/usr/bin/dosbox", "-conf", "/home/me/.dosbox/mine.conf", "-conf",
                                                   dir.File("g.conf")}));
  EXPECT_EQ(start->directory, dir.path().string());
  std::ifstream written(dir.File("g.conf"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), *DosboxConfigText(game, 7, why));
  EXPECT_FALSE(PrepareDosboxGame(game, "dosbox", 7, dir.File("none/g.conf"), why));
  EXPECT_EQ(why, "Cannot write the DOSBox configuration " + dir.File("none/g.conf") + ".");
}

}  // namespace
}  // namespace vorn
