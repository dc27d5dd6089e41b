#include "net/parity.h"

#include <algorithm>

#include "net/messages.h"
#include "platform/byte_io.h"

namespace vorn {

namespace {

constexpr uint32_t kFnvOffset = 2166136261u;
constexpr uint32_t kFnvPrime = 16777619u;

uint32_t Fnv(uint32_t hash, std::span<const uint8_t> bytes) {
  for (uint8_t byte : bytes) hash = (hash ^ byte) * kFnvPrime;
  return hash;
}

bool Codable(size_t size) { return size > 0 && size <= kMaxCodedSize; }

}  // namespace

uint32_t ParityHash(std::span<const uint8_t> head, std::span<const uint8_t> tail) {
  return Fnv(Fnv(kFnvOffset, head), tail);
}

size_t BuildParity(std::span<uint8_t> out, std::span<const uint8_t> older, std::span<const uint8_t> head,
                   std::span<const uint8_t> tail) {
  const size_t newer_size = head.size() + tail.size();
  if (!Codable(older.size()) || !Codable(newer_size) || out.size() < kMaxParitySize) return 0;
  ByteWriter writer(out);
  writer.Bytes(kMagic);
  writer.U8(static_cast<uint8_t>(kTypeParity));
  writer.U16Le(static_cast<uint16_t>(older.size()));
  writer.U32Le(ParityHash(older));
  writer.U16Le(static_cast<uint16_t>(newer_size));
  writer.U32Le(ParityHash(head, tail));
  const size_t coded = std::max(older.size(), newer_size);
  uint8_t* xored = out.data() + kParityHeaderSize;
  std::fill(xored, xored + coded, uint8_t{0});
  std::copy(older.begin(), older.end(), xored);
  for (size_t i = 0; i < head.size(); ++i) xored[i] ^= head[i];
  for (size_t i = 0; i < tail.size(); ++i) xored[head.size() + i] ^= tail[i];
  return kParityHeaderSize + coded;
}

std::optional<ParityView> ParseParity(std::span<const uint8_t> datagram) {
  if (datagram.size() <= kParityHeaderSize || !IsVornFrame(datagram) || datagram[kTypeOffset] != kTypeParity)
    return std::nullopt;
  ByteReader reader(datagram.subspan(kFrameSize));
  ParityView view;
  view.older = {reader.U16Le(), reader.U32Le()};
  view.newer = {reader.U16Le(), reader.U32Le()};
  view.coded = datagram.subspan(kParityHeaderSize);
  if (!Codable(view.older.size) || !Codable(view.newer.size)) return std::nullopt;
  if (view.coded.size() != std::max(view.older.size, view.newer.size)) return std::nullopt;
  return view;
}

}  // namespace vorn
