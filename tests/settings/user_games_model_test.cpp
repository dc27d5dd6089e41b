#include "settings/user_games_model.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

void WriteScript(const fs::path& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  fs::permissions(path, fs::perms::owner_all);
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
  EXPECT_FALSE(UserGameArgv(UserGame{"D", "dosbox", "-c 'open", "", ""}).has_value());
}

}  // namespace
}  // namespace vorn
