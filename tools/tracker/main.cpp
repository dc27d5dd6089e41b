// vorn-tracker: a stand-alone server list tracker for Vorn clients.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tracker/tracker.h"
#include "tracker/tracker_options.h"

namespace vorn {
namespace {

// SIGINT and SIGTERM are taken by one thread with sigwait, which stops the
// tracker's loop; every other thread keeps them blocked.
class SignalWatcher {
 public:
  explicit SignalWatcher(Tracker& tracker) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this, &tracker] {
      int signal = 0;
      sigwait(&set_, &signal);
      tracker.Stop();
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

int Run(const TrackerConfig& config) {
  SteadyClock clock;
  Tracker tracker(clock, std::cout, std::cerr);
  SignalWatcher signal_watcher(tracker);
  if (!tracker.Open(config)) return 1;
  std::cerr << "vorn-tracker: listening on " << FormatPeer(tracker.LocalAddress()) << std::endl;
  tracker.Run();
  return 0;
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = vorn::ParseTrackerOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "vorn-tracker: %s\nTry 'vorn-tracker --help'.\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(vorn::TrackerUsage().c_str(), stdout);
    return 0;
  }
  return vorn::Run(options->config);
}
