#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto request = ParsePingRequest(input);
  if (!request) return 0;
  fuzz::Check(size >= kPingSize);
  fuzz::Check(request->game_name.size() <= kPingRequestNameField);
  fuzz::CheckWithin(request->game_name, input);
  fuzz::CheckStableRebuild(*request, ParsePingRequest, BuildPingRequest);
  return 0;
}
