#include "platform/process_launch.h"

#include <spawn.h>
#include <sys/wait.h>
#include <cerrno>
#include <csignal>
#include <thread>

extern char** environ;

namespace vorn {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Characters a backslash escapes inside double quotes.
bool EscapableInDoubleQuotes(char c) { return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n'; }

class Splitter {
 public:
  explicit Splitter(std::string_view line) : line_(line) {}

  std::optional<std::vector<std::string>> Run() {
    while (pos_ < line_.size()) {
      const char c = line_[pos_++];
      if (IsBlank(c)) {
        EndWord();
      } else if (c == '\'') {
        if (!SingleQuoted()) return std::nullopt;
      } else if (c == '"') {
        if (!DoubleQuoted()) return std::nullopt;
      } else if (c == '\\') {
        Escaped();
      } else {
        Append(c);
      }
    }
    EndWord();
    return std::move(words_);
  }

 private:
  void Append(char c) {
    word_ += c;
    in_word_ = true;
  }
  void EndWord() {
    if (in_word_) words_.push_back(std::move(word_));
    word_.clear();
    in_word_ = false;
  }
  // A backslash before a line end joins the lines; one at the very end
  // vanishes, as the shells do it.
  void Escaped() {
    if (pos_ >= line_.size()) return;
    const char next = line_[pos_++];
    if (next != '\n') Append(next);
  }
  bool SingleQuoted() {
    in_word_ = true;  // '' is an empty word
    const size_t end = line_.find('\'', pos_);
    if (end == std::string_view::npos) return false;
    word_.append(line_.substr(pos_, end - pos_));
    pos_ = end + 1;
    return true;
  }
  bool DoubleQuoted() {
    in_word_ = true;
    while (pos_ < line_.size()) {
      const char c = line_[pos_++];
      if (c == '"') return true;
      if (c == '\\' && pos_ < line_.size() && EscapableInDoubleQuotes(line_[pos_])) {
        const char next = line_[pos_++];
        if (next != '\n') word_ += next;
      } else {
        word_ += c;
      }
    }
    return false;
  }

  std::string_view line_;
  size_t pos_ = 0;
  std::vector<std::string> words_;
  std::string word_;
  bool in_word_ = false;
};

// Owns the spawn attributes so every exit path destroys them.
struct SpawnSetup {
  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attr{};
  int error = 0;

  explicit SpawnSetup(const std::string& directory) {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    if (!directory.empty()) error = posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    // Our sockets and files are no business of the child's.
    if (error == 0) error = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    if (error == 0) error = posix_spawnattr_setsigmask(&attr, &none);
    if (error == 0) error = posix_spawnattr_setsigdefault(&attr, &all);
    if (error == 0) error = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line) { return Splitter(line).Run(); }

SpawnResult SpawnProcess(std::span<const std::string> argv, const std::string& directory) {
  if (argv.empty() || argv[0].empty()) return {-1, ENOENT};
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  SpawnSetup setup(directory);
  if (setup.error != 0) return {-1, setup.error};
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, args[0], &setup.actions, &setup.attr, args.data(), environ);
  if (error != 0) return {-1, error};
  return {pid, 0};
}

int LaunchDetached(std::span<const std::string> argv, const std::string& directory) {
  const SpawnResult result = SpawnProcess(argv, directory);
  if (result.error != 0) return result.error;
  // The game may outlive us; the thread only collects its exit status.
  std::thread([pid = result.pid] {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return 0;
}

}  // namespace vorn
