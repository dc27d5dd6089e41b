// vornd: a Vorn node without a window.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "console_ports.h"
#include "node/node.h"
#include "options.h"
#include "platform/event_loop.h"
#include "qtprofile/qt_profile.h"

namespace vorn {
namespace {

// SIGINT and SIGTERM are taken by one thread with sigwait, which asks the
// loop to stop; every other thread keeps them blocked.
class SignalWatcher {
 public:
  explicit SignalWatcher(EventLoop& loop) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this, &loop] {
      int signal = 0;
      sigwait(&set_, &signal);
      loop.Quit();
    });
  }
  ~SignalWatcher() {
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
  }

 private:
  sigset_t set_{};
  std::thread thread_;
};

int Run(const VorndOptions& options) {
  QtProfile stored = options.config_path.empty() ? QtProfile() : QtProfile(QString::fromStdString(options.config_path));
  OverlayProfile profile(stored);
  ApplyOverrides(options, profile);
  if (std::string flag = MissingIdentityFlag(profile); !flag.empty()) {
    std::fprintf(stderr, "vornd: %s is missing: give it on the command line or set it in %s\n", flag.c_str(),
                 stored.FileName().toStdString().c_str());
    return 2;
  }

  SteadyClock clock;
  EventLoop loop(clock, EventLoop::Idle::Wait);
  SignalWatcher signal_watcher(loop);
  StreamMessageWindow messages(stdout);
  ConsoleDialogs dialogs(stderr, loop);
  NoUserInfoDialog user_info;
  Node node({clock, loop, messages, dialogs, profile, user_info});
  if (!node.Start()) return 1;
  std::fprintf(stderr, "vornd: running as %s\n", FormatPeer(node.LocalAddress()).c_str());
  if (!options.server.empty())
    std::fprintf(stderr, "vornd: connecting to a server (%s) is not available yet\n", options.server.c_str());
  loop.Run();
  node.Shutdown();
  return 0;
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = vorn::ParseVorndOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "vornd: %s\nTry 'vornd --help'.\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(vorn::VorndUsage().c_str(), stdout);
    return 0;
  }
  return vorn::Run(*options);
}
