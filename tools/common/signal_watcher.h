#pragma once
// The programs stop on SIGINT or SIGTERM. One thread takes them with sigwait
// and calls on_signal; every other thread, started after the watcher, keeps
// them blocked, so no signal lands in the middle of their work. A program
// whose stop can take a while may also give on_second_signal, which a second
// SIGINT or SIGTERM calls with its number (to end at once).
#include <pthread.h>
#include <signal.h>

#include <functional>
#include <thread>

namespace vorn {

class SignalWatcher {
 public:
  explicit SignalWatcher(std::function<void()> on_signal, std::function<void(int)> on_second_signal = {}) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this, on_signal = std::move(on_signal), on_second = std::move(on_second_signal)] {
      int signal = 0;
      sigwait(&set_, &signal);
      if (signal == SIGUSR1) return;
      on_signal();
      if (!on_second) return;
      sigwait(&set_, &signal);
      if (signal != SIGUSR1) on_second(signal);
    });
  }
  ~SignalWatcher() {
    pthread_kill(thread_.native_handle(), SIGUSR1);  // ends the wait if no signal came
    thread_.join();
  }
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  sigset_t set_{};
  std::thread thread_;
};

}  // namespace vorn
