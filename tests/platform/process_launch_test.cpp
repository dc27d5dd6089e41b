#include "platform/process_launch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/temp_dir.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The child's exit status, or -1 when it did not end normally.
int WaitExit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(SplitCommandLine, SplitsAsTheShellDoes) {
  const std::vector<std::pair<std::string, Words>> cases = {
      {"dosbox", {"dosbox"}},
      {"  dosbox \t -conf  a.conf \n", {"dosbox", "-conf", "a.conf"}},
      {"", {}},
      {"   ", {}},
      {"wine 'C:\\GAMES\\DUEL.EXE' -net", {"wine", "C:\\GAMES\\DUEL.EXE", "-net"}},
      {"dosbox -c \"ipxnet connect 127.0.0.1\"", {"dosbox", "-c", "ipxnet connect 127.0.0.1"}},
      {"a\\ b c\\\\d \\'e", {"a b", "c\\d", "'e"}},
      {"\"a\\b\" \"a\\$b\" \"\\\"q\\\"\"", {"a\\b", "a$b", "\"q\""}},
      {"x'' '' \"\"", {"x", "", ""}},
      {"x\"y\"'z'w", {"xyzw"}},
      {"one\\\ntwo \"three\\\nfour\"", {"onetwo", "threefour"}},
      {"end\\", {"end"}},
      {"$HOME ~ *.exe # not a comment", {"$HOME", "~", "*.exe", "#", "not", "a", "comment"}},
  };
  for (const auto& [line, words] : cases) {
    std::optional<Words> split = SplitCommandLine(line);
    ASSERT_TRUE(split.has_value()) << line;
    EXPECT_EQ(*split, words) << line;
  }
}

TEST(SplitCommandLine, RefusesAnUnterminatedQuote) {
  EXPECT_FALSE(SplitCommandLine("dosbox 'game").has_value());
  EXPECT_FALSE(SplitCommandLine("dosbox \"game").has_value());
  EXPECT_FALSE(SplitCommandLine("dosbox \"game\\\"").has_value());
}

TEST(SpawnProcess, RunsInItsDirectoryAndLeavesOursAlone) {
  TempDir dir;
  const fs::path before = fs::current_path();
  const Words argv = {"/bin/sh", "-c", "pwd > cwd.txt; printf '%s|' \"$@\" > args.txt", "sh", "a b", "c"};
  const SpawnResult result = SpawnProcess(argv, dir.path().string());
  ASSERT_EQ(result.error, 0);
  EXPECT_EQ(fs::current_path(), before);
  EXPECT_EQ(WaitExit(result.pid), 0);
  EXPECT_EQ(ReadFile(dir.path() / "cwd.txt"), fs::canonical(dir.path()).string() + "\n");
  EXPECT_EQ(ReadFile(dir.path() / "args.txt"), "a b|c|");
}

TEST(SpawnProcess, ReportsTheErrnoOfWhatFailed) {
  TempDir dir;
  EXPECT_EQ(SpawnProcess(Words{(dir.path() / "missing").string()}, "").error, ENOENT);
  EXPECT_EQ(SpawnProcess(Words{"vorn-no-such-program-anywhere"}, "").error, ENOENT);
  EXPECT_EQ(SpawnProcess(Words{"/bin/true"}, (dir.path() / "missing").string()).error, ENOENT);
  EXPECT_EQ(SpawnProcess(Words{dir.path().string()}, "").error, EACCES);
  EXPECT_EQ(SpawnProcess(Words{}, "").error, ENOENT);
}

// Our sockets and files must not stay open in a game that outlives us.
TEST(SpawnProcess, PassesOnNoDescriptorButTheStandardThree) {
  const int fd = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(fd, 3);
  const SpawnResult result = SpawnProcess(Words{"/bin/sh", "-c", "test ! -e /proc/self/fd/$0", std::to_string(fd)}, "");
  ::close(fd);
  ASSERT_EQ(result.error, 0);
  EXPECT_EQ(WaitExit(result.pid), 0);
}

TEST(LaunchDetached, LeavesNoZombieBehind) {
  TempDir dir;
  ASSERT_EQ(LaunchDetached(Words{"/bin/sh", "-c", "echo $$ > pid.tmp && mv pid.tmp pid.txt"}, dir.path().string()), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  pid_t pid = 0;
  // kill() still finds a zombie; only a reaped child is gone.
  while (std::chrono::steady_clock::now() < deadline) {
    if (pid == 0) pid = static_cast<pid_t>(std::atoi(ReadFile(dir.path() / "pid.txt").c_str()));
    if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GT(pid, 0);
  EXPECT_NE(::kill(pid, 0), 0);
  EXPECT_EQ(LaunchDetached(Words{(dir.path() / "missing").string()}, ""), ENOENT);
}

}  // namespace
}  // namespace vorn
