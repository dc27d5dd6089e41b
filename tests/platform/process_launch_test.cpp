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

// As the shell splits words; an unterminated quote is refused.
TEST(SplitCommandLine, SplitsAsTheShellDoes) {
  const std::vector<std::pair<std::string, std::optional<Words>>> cases = {
      {"  dosbox \t -conf  a.conf \n", Words{"dosbox", "-conf", "a.conf"}},
      {"", Words{}},
      {"wine 'C:\\GAMES\\DUEL.EXE' -net", Words{"wine", "C:\\GAMES\\DUEL.EXE", "-net"}},
      {"dosbox -c \"ipxnet connect 127.0.0.1\"", Words{"dosbox", "-c", "ipxnet connect 127.0.0.1"}},
      {"a\\ b c\\\\d \\'e", Words{"a b", "c\\d", "'e"}},
      {"\"a\\b\" \"a\\$b\" \"\\\"q\\\"\"", Words{"a\\b", "a$b", "\"q\""}},
      {"x'' '' \"\"", Words{"x", "", ""}},
      {"x\"y\"'z'w", Words{"xyzw"}},
      {"one\\\ntwo \"three\\\nfour\"", Words{"onetwo", "threefour"}},
      {"end\\", Words{"end"}},
      {"$HOME ~ *.exe # not a comment", Words{"$HOME", "~", "*.exe", "#", "not", "a", "comment"}},
      {"dosbox 'game", std::nullopt},
      {"dosbox \"game\\\"", std::nullopt},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(SplitCommandLine(line), words) << line;
}

// It runs in its directory and leaves ours alone; our sockets and files
// must not stay open in a game that outlives us: only the standard three
// descriptors are passed on.
TEST(SpawnProcess, RunsInItsDirectoryWithNoDescriptorButTheStandardThree) {
  TempDir dir;
  const fs::path before = fs::current_path();
  const int fd = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(fd, 3);
  const std::string script =
      "pwd > cwd.txt; printf '%s|' \"$@\" > args.txt; test ! -e /proc/self/fd/" + std::to_string(fd);
  const SpawnResult result = SpawnProcess(Words{"/bin/sh", "-c", script, "sh", "a b", "c"}, dir.path().string());
  ::close(fd);
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
