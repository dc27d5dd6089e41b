#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  std::optional<char> type = ParseFrameOnly(input);
  if (!type) return 0;
  fuzz::Check(IsVornFrame(input) && IsFrameOnlyType(*type));
  fuzz::CheckExactRebuild(*type, input.first(kFrameSize), BuildFrameOnly);
  return 0;
}
