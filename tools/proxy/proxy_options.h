#pragma once
// The command line of vorn-proxy.
#include <optional>
#include <string>
#include <vector>

#include "proxy/proxy.h"

namespace vorn {

struct ProxyOptions {
  ProxyConfig config;
  bool help = false;
};

// Parses the arguments after the program name; on a mistake returns nullopt
// and sets error.
std::optional<ProxyOptions> ParseProxyOptions(const std::vector<std::string>& args, std::string& error);

std::string ProxyUsage();

}  // namespace vorn
