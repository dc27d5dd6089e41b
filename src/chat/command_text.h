#pragma once
// How the commands cut their arguments out of an input line.
#include <algorithm>
#include <string_view>

namespace vorn {

inline constexpr std::string_view kCommandError = "*** Command error.  Type /help for a list of commands.\r\n";

inline std::string_view TrimLeadingBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// Commands take their argument from a fixed column of the line, which
// assumes one blank after the name; leading blanks are removed.
inline std::string_view ArgumentAt(std::string_view line, size_t column) {
  return TrimLeadingBlanks(line.substr(std::min(column, line.size())));
}

}  // namespace vorn
