#pragma once
// The command line of vorn-tracker.
#include <optional>
#include <string>
#include <vector>

#include "tracker/tracker.h"

namespace vorn {

struct TrackerOptions {
  TrackerConfig config;
  bool help = false;
};

// Parses the arguments after the program name; on a mistake returns nullopt
// and sets error.
std::optional<TrackerOptions> ParseTrackerOptions(const std::vector<std::string>& args, std::string& error);

std::string TrackerUsage();

}  // namespace vorn
