#pragma once
// Runs one of our programs as a child process for a test: its standard
// output and error are read through a pipe with bounded waits, and it is
// stopped by its PID only. The child leads a process group of its own, so
// whatever it started (an X server, the program under xvfb-run) ends with
// it when a test gives up early.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vorn {

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), environ) != 0) pid_ = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
  }
  ~ChildProcess() {
    if (pid_ > 0 && !exit_code_) {
      // The group is named by our child's PID, which stays ours until it is
      // reaped: only what the child started is in it.
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Reads output until it holds needle or the limit passes.
  bool WaitForOutput(const std::string& needle, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (output_.find(needle) == std::string::npos) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return false;
    }
    return true;
  }

  // Sends a signal and waits (bounded) for the exit; the exit code, or
  // nullopt when the child did not end in time or died of a signal.
  std::optional<int> Stop(int signal = SIGINT, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    if (pid_ > 0 && !exit_code_) ::kill(pid_, signal);
    return WaitForExit(limit);
  }

  std::optional<int> WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!exit_code_ && std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      ReadSome(20);
    }
    while (ReadSome(0)) {
    }
    if (!exit_code_ || *exit_code_ >= 128) return std::nullopt;
    return exit_code_;
  }

  const std::string& output() const { return output_; }
  // Whether the child has ended, also by a signal or with a code of 128 or more.
  bool ended() const { return exit_code_.has_value(); }

 private:
  bool ReadSome(int timeout_ms) {
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return false;
    char buffer[4096];
    ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
  std::optional<int> exit_code_;
};

// A UDP port on 127.0.0.1 that was free a moment ago.
uint16_t FreeUdpPort();

}  // namespace vorn
