// vorn-impair: an impairing UDP relay for tests on loopback.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/program_main.h"
#include "common/signal_watcher.h"
#include "impair/impair_options.h"
#include "impair/impairing_relay.h"

namespace vorn {
namespace {

int Run(const RelayConfig& config) {
  SteadyClock clock;
  ImpairingRelay relay(clock);
  SignalWatcher signal_watcher([&relay] { relay.Stop(); }, {},
                               [&relay] { std::cout << FormatCounters(relay.Counters()) << std::flush; });
  std::string error;
  if (!relay.Open(config, error)) {
    std::cerr << "vorn-impair: " << error << std::endl;
    return 2;
  }
  std::cerr << "vorn-impair: listening on " << FormatPeer(relay.LocalAddress()) << ", target "
            << FormatPeer(config.target) << ", seed " << config.seed << std::endl;
  relay.Run();
  std::cout << FormatCounters(relay.Counters()) << std::flush;
  return 0;
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  return vorn::ProgramMain("vorn-impair", argc, argv, vorn::ParseImpairOptions, vorn::ImpairUsage,
                           [](const auto& config) { return vorn::Run(config); });
}
