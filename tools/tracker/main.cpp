// vorn-tracker: a stand-alone server list tracker for Vorn clients.

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "common/program_main.h"
#include "common/signal_watcher.h"
#include "tracker/tracker.h"
#include "tracker/tracker_options.h"

namespace vorn {
namespace {

int Run(const TrackerConfig& config) {
  SteadyClock clock;
  Tracker tracker(clock, std::cout, std::cerr);
  SignalWatcher signal_watcher([&tracker] { tracker.Stop(); });
  if (!tracker.Open(config)) return 2;
  std::cerr << "vorn-tracker: listening on " << FormatPeer(tracker.LocalAddress()) << std::endl;
  tracker.Run();
  return 0;
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  return vorn::ProgramMain("vorn-tracker", argc, argv, vorn::ParseTrackerOptions, vorn::TrackerUsage,
                           [](const auto& config) { return vorn::Run(config); });
}
