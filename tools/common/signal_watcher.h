#pragma once
// The programs stop on SIGINT or SIGTERM. One thread takes them with sigwait
// and calls on_signal; every other thread, started after the watcher, keeps
// them blocked, so no signal lands in the middle of their work. A program
// whose stop can take a while may also give on_second_signal, which a second
// SIGINT or SIGTERM calls with its number (to end at once). SIGUSR1 calls
// on_report, when given, as often as it comes.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace vorn {

class SignalWatcher {
 public:
  explicit SignalWatcher(std::function<void()> on_signal, std::function<void(int)> on_second_signal = {},
                         std::function<void()> on_report = {}) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this, on_signal = std::move(on_signal), on_second = std::move(on_second_signal),
                           on_report = std::move(on_report)] {
      int signal = 0;
      bool stopping = false;
      while (sigwait(&set_, &signal) == 0 && !ending_.load()) {
        if (signal == SIGUSR1) {
          if (on_report) on_report();
        } else if (!stopping) {
          stopping = true;
          on_signal();
          if (!on_second) return;
        } else {
          return on_second(signal);
        }
      }
    });
  }
  ~SignalWatcher() {
    ending_.store(true);
    pthread_kill(thread_.native_handle(), SIGUSR1);  // ends the wait if no signal came
    thread_.join();
  }
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  sigset_t set_{};
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

}  // namespace vorn
