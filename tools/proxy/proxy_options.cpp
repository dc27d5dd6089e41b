#include "proxy/proxy_options.h"

#include <algorithm>

#include "common/flags.h"
#include "platform/peer_address.h"
#include "platform/text.h"

namespace vorn {
namespace {

// Decimal digits only, within [low, high].
bool ParseNumber(const std::string& text, int32_t low, int32_t high, int32_t& number) {
  if (text.empty() || text.size() > 9 || !std::ranges::all_of(text, IsDigit)) return false;
  number = ParseDecimal(text);
  return number >= low && number <= high;
}

// Plain dotted decimal only: what FormatIp writes back unchanged.
bool ParseBindValue(const std::string& text, uint32_t& ip) {
  ip = ParseDottedQuad(text);
  return FormatIp(ip) == text;
}

// One flag with a value; false when args[i] is not this flag.
bool TakeFlag(const std::vector<std::string>& args, size_t& i, ProxyConfig& config, std::string& error) {
  std::string value;
  int32_t number = 0;
  if (TakeValue(args, i, "--port", value, error)) {
    if (error.empty() && !ParseNumber(value, 0, 65535, number)) error = "--port takes a number from 0 to 65535";
    config.port = static_cast<uint16_t>(number);
  } else if (TakeValue(args, i, "--bind", value, error)) {
    if (error.empty() && !ParseBindValue(value, config.bind_ip)) error = "--bind takes an address A.B.C.D";
  } else if (TakeValue(args, i, "--idle-seconds", value, error)) {
    if (error.empty() && !ParseNumber(value, 1, kMaxIdleSeconds, number))
      error = "--idle-seconds takes a number from 1 to " + std::to_string(kMaxIdleSeconds);
    config.idle_seconds = number;
  } else if (TakeValue(args, i, "--max-clients", value, error)) {
    if (error.empty() && !ParseNumber(value, 1, static_cast<int32_t>(kMaxProxyClients), number))
      error = "--max-clients takes a number from 1 to " + std::to_string(kMaxProxyClients);
    config.max_clients = static_cast<size_t>(number);
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::optional<ProxyOptions> ParseProxyOptions(const std::vector<std::string>& args, std::string& error) {
  ProxyOptions options;
  for (size_t i = 0; i < args.size() && error.empty(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      options.help = true;
    } else if (!TakeFlag(args, i, options.config, error)) {
      error = "unknown argument " + args[i];
    }
  }
  if (!error.empty()) return std::nullopt;
  return options;
}

std::string ProxyUsage() {
  return "Usage: vorn-proxy [--port N] [--bind A.B.C.D] [--idle-seconds N] [--max-clients N]\n"
         "\n"
         "Carries the traffic of Vorn clients that name this proxy. A client's hello\n"
         "is answered with the address and port under which the proxy sees it. Every\n"
         "datagram that a client wraps with a destination is sent on to that\n"
         "destination from an upstream port of that client's own, and whatever\n"
         "arrives on that port goes back to the client, wrapped with its sender.\n"
         "\n"
         "  --port N          the UDP port clients talk to (default 3213; 0 picks a\n"
         "                    free one)\n"
         "  --bind A.B.C.D    the address to listen on and to send from (default\n"
         "                    127.0.0.1, this machine only; 0.0.0.0 for every\n"
         "                    interface)\n"
         "  --idle-seconds N  forget a client, and close its upstream port, after N\n"
         "                    seconds without a datagram from it (default 120)\n"
         "  --max-clients N   serve at most N clients at once (default 64, at most\n"
         "                    512); a further client is ignored until one is forgotten\n"
         "  -h, --help        show this text and exit\n"
         "\n"
         "Clients that come, greet, are refused or are forgotten are logged on\n"
         "standard output. SIGINT or SIGTERM ends the proxy.\n";
}

}  // namespace vorn
