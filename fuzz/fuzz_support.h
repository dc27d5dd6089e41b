#pragma once
// Checks shared by the fuzz targets. A failed check traps, so libFuzzer
// records the input as a crash.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "net/messages.h"

namespace vorn::fuzz {

// Room for the largest input the targets accept and anything built from it.
inline constexpr size_t kMaxInput = kMaxDatagram + kWrapHeaderSize;
using Buffer = std::array<uint8_t, kMaxInput + 64>;

inline void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// A view handed out by a parser lies inside the datagram it came from.
inline void CheckWithin(const void* begin, size_t size, std::span<const uint8_t> whole) {
  if (size == 0) return;
  auto address = [](const void* p) { return reinterpret_cast<uintptr_t>(p); };
  Check(address(begin) >= address(whole.data()));
  Check(address(begin) + size <= address(whole.data()) + whole.size());
}
inline void CheckWithin(std::span<const uint8_t> part, std::span<const uint8_t> whole) {
  CheckWithin(part.data(), part.size(), whole);
}
inline void CheckWithin(std::string_view part, std::span<const uint8_t> whole) {
  CheckWithin(part.data(), part.size(), whole);
}

// Building from a parsed view and parsing again settles at once: a second
// round writes the same bytes as the first.
template <typename View, typename Parse, typename Build>
void CheckStableRebuild(const View& view, Parse parse, Build build) {
  Buffer first{};
  Buffer second{};
  const size_t first_size = build(std::span<uint8_t>(first), view);
  Check(first_size > 0);
  auto again = parse(std::span<const uint8_t>(first).first(first_size));
  Check(again.has_value());
  const size_t second_size = build(std::span<uint8_t>(second), *again);
  Check(second_size == first_size);
  Check(std::equal(first.begin(), first.begin() + static_cast<ptrdiff_t>(first_size), second.begin()));
}

// Building from a parsed view gives back the bytes of the layout exactly.
template <typename View, typename Build>
void CheckExactRebuild(const View& view, std::span<const uint8_t> original, Build build) {
  Buffer out{};
  const size_t size = build(std::span<uint8_t>(out), view);
  Check(size == original.size());
  Check(std::equal(original.begin(), original.end(), out.begin()));
}

}  // namespace vorn::fuzz
