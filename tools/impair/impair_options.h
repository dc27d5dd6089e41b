#pragma once
// The command line of vorn-impair.
#include <optional>
#include <string>
#include <vector>

#include "impair/impairing_relay.h"

namespace vorn {

struct ImpairOptions {
  RelayConfig config;
  bool help = false;
};

// Parses the arguments after the program name; on a mistake returns nullopt
// and sets error. The rates apply to both directions.
std::optional<ImpairOptions> ParseImpairOptions(const std::vector<std::string>& args, std::string& error);

std::string ImpairUsage();

// One line of counters, for the end of a run.
std::string FormatCounters(const RelayCounters& counters);

}  // namespace vorn
