#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto message = ParseText(input);
  if (!message) return 0;
  fuzz::Check(message->text.size() <= size - kFrameSize);
  fuzz::Check(message->text.find('\0') == std::string_view::npos);
  fuzz::CheckWithin(message->text, input);
  fuzz::CheckStableRebuild(*message, ParseText, BuildText);
  return 0;
}
