#pragma once
// What the soak tests share: their length, the memory a process holds, and
// the programs they run.
#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "integration/child_process.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace vorn::soak {

inline constexpr uint32_t kLoopback = 0x7F000001;

// VORN_SOAK_SECONDS when it holds a positive whole number (at most a day),
// else the short form's length.
inline int SoakSeconds(int short_form_seconds) {
  const char* raw = std::getenv("VORN_SOAK_SECONDS");
  const std::string_view text = raw != nullptr ? raw : "";
  if (text.empty() || text.size() > 6 || !std::ranges::all_of(text, IsDigit)) return short_form_seconds;
  const int seconds = ParseDecimal(text);
  return seconds > 0 && seconds <= 86'400 ? seconds : short_form_seconds;
}

// Resident memory of a process in KiB from /proc/PID/status; -1 when unknown.
inline int64_t ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) != 0) continue;
    std::string digits;
    std::ranges::copy_if(line, std::back_inserter(digits), IsDigit);
    return digits.empty() ? -1 : std::stoll(digits);
  }
  return -1;
}

}  // namespace vorn::soak
