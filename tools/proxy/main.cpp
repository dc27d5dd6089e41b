// vorn-proxy: a stand-alone proxy for Vorn clients.

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "common/signal_watcher.h"
#include "proxy/proxy.h"
#include "proxy/proxy_options.h"

namespace vorn {
namespace {

int Run(const ProxyConfig& config) {
  SteadyClock clock;
  Proxy proxy(clock, std::cout, std::cerr);
  SignalWatcher signal_watcher([&proxy] { proxy.Stop(); });
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
