#include "tracker/tracker_options.h"

#include <algorithm>

#include "common/flags.h"
#include "platform/peer_address.h"
#include "platform/text.h"

namespace vorn {
namespace {

bool ParsePortValue(const std::string& text, uint16_t& port) {
  if (text.empty() || text.size() > 5 || !std::ranges::all_of(text, IsDigit)) return false;
  int32_t value = ParseDecimal(text);
  if (value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

// Plain dotted decimal only: what FormatIp writes back unchanged.
bool ParseBindValue(const std::string& text, uint32_t& ip) {
  ip = ParseDottedQuad(text);
  return FormatIp(ip) == text;
}

}  // namespace

std::optional<TrackerOptions> ParseTrackerOptions(const std::vector<std::string>& args, std::string& error) {
  TrackerOptions options;
  for (size_t i = 0; i < args.size() && error.empty(); ++i) {
    std::string value;
    if (args[i] == "--help" || args[i] == "-h") {
      options.help = true;
    } else if (TakeValue(args, i, "--port", value, error)) {
      if (error.empty() && !ParsePortValue(value, options.config.port)) error = "--port takes a number from 0 to 65535";
    } else if (TakeValue(args, i, "--bind", value, error)) {
      if (error.empty() && !ParseBindValue(value, options.config.bind_ip)) error = "--bind takes an address A.B.C.D";
    } else if (TakeValue(args, i, "--list", value, error)) {
      if (error.empty() && value.empty()) error = "--list needs a file name";
      options.config.list_path = value;
    } else {
      error = "unknown argument " + args[i];
    }
  }
  if (!error.empty()) return std::nullopt;
  return options;
}

std::string TrackerUsage() {
  return "Usage: vorn-tracker [--list FILE] [--port N] [--bind A.B.C.D]\n"
         "\n"
         "Answers Vorn clients' server list requests with the servers named in FILE,\n"
         "and answers a player information request that a server passes on with a\n"
         "note that this tracker keeps no information about players.\n"
         "\n"
         "  --list FILE     the server list: one server a line, \"NAME ADDRESS\", where\n"
         "                  ADDRESS is A.B.C.D or A.B.C.D:PORT and NAME (at most 15\n"
         "                  characters) is everything before it. Lines beginning with\n"
         "                  \"#\" and blank lines are skipped; bad lines are reported on\n"
         "                  standard error and skipped. The file is read again whenever\n"
         "                  it changes. Without --list the list is empty.\n"
         "  --port N        the UDP port to listen on (default 6666; 0 picks a free one)\n"
         "  --bind A.B.C.D  the address to listen on (default 127.0.0.1, this machine\n"
         "                  only; 0.0.0.0 listens on every interface)\n"
         "  -h, --help      show this text and exit\n"
         "\n"
         "One line per answered request goes to standard output. The answer holds as\n"
         "many servers as fit in one datagram of 2048 bytes, in the order of the file.\n"
         "SIGINT or SIGTERM ends the tracker.\n";
}

}  // namespace vorn
