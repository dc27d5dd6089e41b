#pragma once
// Starting other programs: a command line split into words as a POSIX shell
// would split it, and a child started in a directory of its own without
// ever changing this process's working directory (other threads may open
// files by relative paths at the same moment).
#include <sys/types.h>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// Words separated by unquoted blanks; single quotes keep everything, double
// quotes let a backslash escape only $ ` " \ and a line end, a backslash
// elsewhere keeps the next character. No expansion of any kind: variables,
// "~" and patterns stay as written. nullopt for an unterminated quote.
std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line);

struct SpawnResult {
  pid_t pid = -1;  // set when the child runs
  int error = 0;   // errno when it could not be started
};

// Starts argv[0] (looked up in PATH when it holds no '/') with argv, in
// directory (empty: ours). The child gets no descriptor but the standard
// three, default signal handling and an empty signal mask. The caller must
// reap the child.
SpawnResult SpawnProcess(std::span<const std::string> argv, const std::string& directory);

// The same, but nobody waits for the child: a detached thread reaps it so
// that no zombie stays. 0 when started, otherwise the errno.
int LaunchDetached(std::span<const std::string> argv, const std::string& directory);

}  // namespace vorn
