#pragma once
// Command-line flags with a value, shared by the programs.
#include <string>
#include <vector>

namespace vorn {

// "--flag value" or "--flag=value": true when args[i] names this flag; then
// value holds its value (i moves past it), or error says it is missing.
inline bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& flag, std::string& value,
                      std::string& error) {
  const std::string& arg = args[i];
  if (arg.rfind(flag + "=", 0) == 0) {
    value = arg.substr(flag.size() + 1);
    return true;
  }
  if (arg != flag) return false;
  if (i + 1 >= args.size()) {
    error = flag + " needs a value";
  } else {
    value = args[++i];
  }
  return true;
}

}  // namespace vorn
