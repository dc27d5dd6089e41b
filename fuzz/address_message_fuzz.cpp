#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto message = ParseAddressMessage(input);
  if (!message) return 0;
  if (!message->address) {
    // Only a cut acceptance comes without an address.
    fuzz::Check(message->type == kTypeAccepted && size < kAddressMessageSize);
    return 0;
  }
  auto build = [](std::span<uint8_t> out, const AddressMessage& m) {
    return BuildAddressMessage(out, m.type, *m.address);
  };
  fuzz::CheckExactRebuild(*message, input.first(kAddressMessageSize), build);
  return 0;
}
