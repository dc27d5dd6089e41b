// vorn-tracker: a stand-alone server list tracker for Vorn clients.

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "common/signal_watcher.h"
#include "tracker/tracker.h"
#include "tracker/tracker_options.h"

namespace vorn {
namespace {

int Run(const TrackerConfig& config) {
  SteadyClock clock;
  Tracker tracker(clock, std::cout, std::cerr);
  SignalWatcher signal_watcher([&tracker] { tracker.Stop(); });
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
