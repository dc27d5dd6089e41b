#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto frame = ParseGameFrame(input);
  if (!frame) return 0;
  fuzz::Check(frame->payload.size() == size - kGameFrameHeaderSize);
  fuzz::CheckWithin(frame->payload, input);
  // Every byte of a game frame is carried, so it rebuilds exactly.
  fuzz::CheckExactRebuild(*frame, input, BuildGameFrame);
  return 0;
}
