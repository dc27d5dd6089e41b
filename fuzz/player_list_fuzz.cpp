#include <array>
#include <string_view>

#include "fuzz_support.h"
#include "server/player_tables.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::array<PeerAddress, 8> addresses{};
  const std::optional<size_t> count = PlayerListAddresses(text, addresses);
  if (!count) return 0;
  fuzz::Check(*count <= addresses.size());
  for (size_t i = 0; i < *count; ++i) fuzz::Check(addresses[i].ip != 0 && addresses[i].port != 0);
  return 0;
}
