// vorn-proxy: a stand-alone proxy for Vorn clients.

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "common/program_main.h"
#include "common/signal_watcher.h"
#include "proxy/proxy.h"
#include "proxy/proxy_options.h"

namespace vorn {
namespace {

int Run(const ProxyConfig& config) {
  SteadyClock clock;
  Proxy proxy(clock, std::cout, std::cerr);
  SignalWatcher signal_watcher([&proxy] { proxy.Stop(); });
  if (!proxy.Open(config)) return 2;
  std::cerr << "vorn-proxy: listening on " << FormatPeer(proxy.LocalAddress()) << std::endl;
  proxy.Run();
  return 0;
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  return vorn::ProgramMain("vorn-proxy", argc, argv, vorn::ParseProxyOptions, vorn::ProxyUsage,
                           [](const auto& config) { return vorn::Run(config); });
}
