#include "proving/soak_support.h"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "platform/text.h"

namespace vorn::soak {
namespace {

constexpr int kMaxSoakSeconds = 86'400;

}  // namespace

int SoakSeconds(int short_form_seconds) {
  const char* text = std::getenv("VORN_SOAK_SECONDS");
  if (text == nullptr || *text == 0 || std::string_view(text).size() > 6 ||
      !std::ranges::all_of(std::string_view(text), IsDigit))
    return short_form_seconds;
  int seconds = ParseDecimal(text);
  return seconds > 0 && seconds <= kMaxSoakSeconds ? seconds : short_form_seconds;
}

int64_t ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) != 0) continue;
    std::string digits;
    for (char c : line)
      if (IsDigit(c)) digits += c;
    return digits.empty() ? -1 : std::stoll(digits);
  }
  return -1;
}

}  // namespace vorn::soak
