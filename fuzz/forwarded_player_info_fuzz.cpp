#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto info = ParseForwardedPlayerInfo(input);
  if (!info) return 0;
  fuzz::Check(info->nickname.size() <= kForwardedNicknameField);
  fuzz::CheckWithin(info->nickname, input);
  // Forwarding the same request for the same client gives the same bytes.
  auto build = [&input](std::span<uint8_t> out, const ForwardedPlayerInfo& view) {
    return BuildForwardedPlayerInfo(out, input, view.client);
  };
  fuzz::CheckExactRebuild(*info, input.first(kForwardedPlayerInfoSize), build);
  return 0;
}
