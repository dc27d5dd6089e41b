#pragma once
// Runs a program as a child process for a test: its standard input is a
// pipe the test may write lines to, its output (both streams) is collected
// by a thread so that a talkative program never blocks on a full pipe, and
// every wait is bounded. The child leads a process group of its own, so
// whatever it started (an X server, an emulator under timeout) ends with it
// when a test gives up early; it is stopped by its PID only.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/udp_socket.h"
#include "support/temp_dir.h"

extern char** environ;

namespace vorn {

struct ChildOptions {
  std::vector<std::string> env;  // "NAME=VALUE": replaces or adds to the test's environment
  std::filesystem::path cwd;     // empty: the test's own
};

class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> argv, const ChildOptions& options = {}) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
      ::close(in[0]);
      ::close(in[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);  // group 0: its own
    std::vector<std::string> env = options.env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry(*e);
      bool replaced = false;
      for (const std::string& x : options.env)
        replaced |= entry.substr(0, x.find('=') + 1) == x.substr(0, x.find('=') + 1);
      if (!replaced) env.emplace_back(entry);
    }
    if (posix_spawn(&pid_, argv[0].c_str(), &actions, &attributes, Pointers(argv).data(), Pointers(env).data()) != 0)
      pid_ = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
    reader_ = std::jthread([this](std::stop_token stop) { ReadLoop(stop); });
  }
  ~ChildProcess() {
    // The group is named by our child's PID, which stays ours until it is
    // reaped: only what the child started is in it.
    if (Running()) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    reader_ = {};  // requests the stop and joins
    for (int fd : {in_, out_})
      if (fd >= 0) ::close(fd);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  bool TypeLine(std::string_view line) {
    const std::string text = std::string(line) + '\n';
    return in_ >= 0 && ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  bool Signal(int signal) { return Running() && ::kill(pid_, signal) == 0; }

  // Until the output holds needle count times; false when the limit passes
  // or the child closed its output first.
  bool WaitForOutput(std::string_view needle, std::chrono::milliseconds limit = std::chrono::seconds(10),
                     size_t count = 1) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [&] { return closed_ || CountOf(needle) >= count; });
    return CountOf(needle) >= count;
  }
  size_t CountInOutput(std::string_view needle) const {
    std::lock_guard lock(mutex_);
    return CountOf(needle);
  }
  std::string output() const {
    std::lock_guard lock(mutex_);
    return output_;
  }
  // The last lines of the output, for failure messages.
  std::string Tail(size_t bytes = 3000) const {
    std::lock_guard lock(mutex_);
    return output_.size() <= bytes ? output_ : output_.substr(output_.size() - bytes);
  }

  // Reaps the child when it has ended.
  bool Running() {
    if (pid_ <= 0 || exit_code_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return !exit_code_;
  }
  // The exit code, or nullopt when the child did not end in time or died of
  // a signal. Its remaining output is read first.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Running() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling a child's exit
    if (!exit_code_ || *exit_code_ >= 128) return std::nullopt;
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(1), [&] { return closed_; });
    return exit_code_;
  }
  // Sends a signal and waits (bounded) for the exit; a child still running
  // then is killed with its group.
  std::optional<int> Stop(int signal = SIGINT, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    Signal(signal);
    std::optional<int> code = WaitForExit(limit);
    if (Running()) {
      ::kill(-pid_, SIGKILL);
      if (::waitpid(pid_, nullptr, 0) == pid_) exit_code_ = 128;
    }
    return code;
  }

 private:
  static std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return pointers;
  }
  size_t CountOf(std::string_view needle) const {
    size_t count = 0;
    for (size_t at = output_.find(needle); at != std::string::npos; at = output_.find(needle, at + needle.size()))
      ++count;
    return count;
  }
  void ReadLoop(std::stop_token stop) {
    char buffer[4096];
    while (!stop.stop_requested()) {
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      std::lock_guard lock(mutex_);
      if (n > 0) output_.append(buffer, static_cast<size_t>(n));
      closed_ = n <= 0;  // the child and all it started closed their output
      changed_.notify_all();
      if (closed_) return;
    }
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::optional<int> exit_code_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string output_;
  bool closed_ = false;
  std::jthread reader_;
};

// A UDP port on 127.0.0.1 that was free a moment ago.
inline uint16_t FreeUdpPort() {
  UdpSocket probe;
  return probe.Open() && probe.Bind(0x7F000001, 0) ? probe.LocalPort() : 0;
}

#ifdef VORND_PATH
// The command line of a vornd on loopback with its own profile file.
inline std::vector<std::string> VorndCommand(const TempDir& dir, const std::string& nick, uint16_t port,
                                             const std::vector<std::string>& extra) {
  std::vector<std::string> argv = {VORND_PATH,
                                   "--config",
                                   dir.File(nick + ".conf"),
                                   "--my-ip",
                                   "127.0.0.1",
                                   "--port",
                                   std::to_string(port),
                                   "--nick",
                                   nick,
                                   "--real-name",
                                   nick + " Player",
                                   "--email",
                                   nick + "@example.org"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return argv;
}
#endif

}  // namespace vorn
