#pragma once
// Explicit, bounds-checked reading and writing of wire bytes. A reader that
// runs past its input returns zeros and clears a sticky ok flag, so a parser
// checks validity once at the end instead of after every field.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace vorn {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  size_t offset() const { return pos_; }
  size_t remaining() const { return ok_ ? bytes_.size() - pos_ : 0; }

  void Skip(size_t count) { Take(count); }
  uint8_t U8() {
    const uint8_t* p = Take(1);
    return p ? p[0] : 0;
  }
  // Network byte order (addresses, ports, IPX sockets).
  uint16_t U16Be() {
    const uint8_t* p = Take(2);
    return p ? static_cast<uint16_t>(p[0] << 8 | p[1]) : 0;
  }
  uint32_t U32Be() {
    const uint8_t* p = Take(4);
    return p ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]) : 0;
  }
  // Little-endian (sequence numbers, time stamps, chat integers).
  uint16_t U16Le() {
    const uint8_t* p = Take(2);
    return p ? static_cast<uint16_t>(p[1] << 8 | p[0]) : 0;
  }
  uint32_t U32Le() {
    const uint8_t* p = Take(4);
    return p ? (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]) : 0;
  }
  std::span<const uint8_t> Bytes(size_t count) {
    const uint8_t* p = Take(count);
    return p ? std::span<const uint8_t>(p, count) : std::span<const uint8_t>();
  }
  // A fixed-width text field: the text up to its first zero byte, never past
  // the field (a field may be filled completely without a terminator).
  std::string_view FixedText(size_t width) {
    const uint8_t* p = Take(width);
    if (!p) return {};
    const void* zero = std::memchr(p, 0, width);
    size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - p) : width;
    return {reinterpret_cast<const char*>(p), length};
  }
  // Free text to the end of the input: up to the first zero byte, or to the
  // end when the sender left the terminator out.
  std::string_view RestText() { return FixedText(remaining()); }

 private:
  const uint8_t* Take(size_t count) {
    if (!ok_ || count > bytes_.size() - pos_) {
      ok_ = false;
      return nullptr;
    }
    const uint8_t* p = bytes_.data() + pos_;
    pos_ += count;
    return p;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

class ByteWriter {
 public:
  explicit ByteWriter(std::span<uint8_t> out) : out_(out) {}

  bool ok() const { return ok_; }
  size_t size() const { return pos_; }

  void U8(uint8_t v) {
    if (uint8_t* p = Take(1)) p[0] = v;
  }
  void U16Be(uint16_t v) {
    if (uint8_t* p = Take(2)) {
      p[0] = static_cast<uint8_t>(v >> 8);
      p[1] = static_cast<uint8_t>(v);
    }
  }
  void U32Be(uint32_t v) {
    if (uint8_t* p = Take(4)) {
      p[0] = static_cast<uint8_t>(v >> 24);
      p[1] = static_cast<uint8_t>(v >> 16);
      p[2] = static_cast<uint8_t>(v >> 8);
      p[3] = static_cast<uint8_t>(v);
    }
  }
  void U16Le(uint16_t v) {
    if (uint8_t* p = Take(2)) {
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
    }
  }
  void U32Le(uint32_t v) {
    if (uint8_t* p = Take(4)) {
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
      p[3] = static_cast<uint8_t>(v >> 24);
    }
  }
  void Bytes(std::span<const uint8_t> bytes) {
    if (uint8_t* p = Take(bytes.size()); p && !bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  }
  void Text(std::string_view text) { Bytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()}); }
  void Zeros(size_t count) {
    if (uint8_t* p = Take(count); p && count) std::memset(p, 0, count);
  }
  // A fixed-width text field: the text cut to the field, zero-filled.
  void FixedText(std::string_view text, size_t width) {
    uint8_t* p = Take(width);
    if (!p || width == 0) return;
    std::memset(p, 0, width);
    size_t count = text.size() < width ? text.size() : width;
    if (count) std::memcpy(p, text.data(), count);
  }
  // A fixed-width text field that always keeps room for its terminating zero.
  void TerminatedText(std::string_view text, size_t width) { FixedText(text.substr(0, width ? width - 1 : 0), width); }

 private:
  uint8_t* Take(size_t count) {
    if (!ok_ || count > out_.size() - pos_) {
      ok_ = false;
      return nullptr;
    }
    uint8_t* p = out_.data() + pos_;
    pos_ += count;
    return p;
  }

  std::span<uint8_t> out_;
  size_t pos_ = 0;
  bool ok_ = true;
};

inline std::span<const uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace vorn
