// vorn-proxy: a stand-alone proxy for Vorn clients.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "proxy/proxy.h"
#include "proxy/proxy_options.h"

namespace vorn {
namespace {

// SIGINT and SIGTERM are taken by one thread with sigwait, which stops the
// proxy's loop; every other thread keeps them blocked.
class SignalWatcher {
 public:
  explicit SignalWatcher(Proxy& proxy) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this, &proxy] {
      int signal = 0;
      sigwait(&set_, &signal);
      proxy.Stop();
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

int Run(const ProxyConfig& config) {
  SteadyClock clock;
  Proxy proxy(clock, std::cout, std::cerr);
  SignalWatcher signal_watcher(proxy);
  if (!proxy.Open(config)) return 1;
  std::cerr << "vorn-proxy: listening on " << FormatPeer(proxy.LocalAddress()) << std::endl;
  proxy.Run();
  return 0;
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = vorn::ParseProxyOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "vorn-proxy: %s\nTry 'vorn-proxy --help'.\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(vorn::ProxyUsage().c_str(), stdout);
    return 0;
  }
  return vorn::Run(options->config);
}
