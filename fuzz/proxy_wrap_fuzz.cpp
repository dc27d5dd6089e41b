#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto wrap = ParseProxyWrap(input);
  if (!wrap) return 0;
  fuzz::Check(size >= kMinWrapSize);
  fuzz::Check(wrap->inner.size() == size - kWrapHeaderSize);
  fuzz::CheckWithin(wrap->inner, input);
  fuzz::CheckExactRebuild(*wrap, input, BuildProxyWrap);
  return 0;
}
