#include "platform/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <limits>

namespace vorn {

namespace {

constexpr char kEsc = '\x1B';

bool IsC1(unsigned char c) { return c >= 0x80 && c <= 0x9F; }

// The length of the escape sequence at text[0] (an ESC), unterminated ones
// running to the end: CSI ends at a byte from '@' to '~', the string
// sequences (OSC, DCS, SOS, PM, APC) at BEL or ESC '\', and the rest after
// their intermediate bytes and one final byte.
size_t EscapeLength(std::string_view text) {
  if (text.size() < 2) return text.size();
  const char kind = text[1];
  size_t i = 2;
  if (kind == '[') {
    while (i < text.size() && !(text[i] >= '@' && text[i] <= '~')) ++i;
    return std::min(i + 1, text.size());
  }
  if (kind == ']' || kind == 'P' || kind == 'X' || kind == '^' || kind == '_') {
    for (; i < text.size(); ++i) {
      if (text[i] == '\a') return i + 1;
      if (text[i] == kEsc && i + 1 < text.size() && text[i + 1] == '\\') return i + 2;
    }
    return text.size();
  }
  i = 1;
  while (i < text.size() && text[i] >= ' ' && text[i] <= '/') ++i;
  return std::min(i + 1, text.size());
}

}  // namespace

std::string SanitizeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == kEsc) {
      i += EscapeLength(text.substr(i));
    } else if (c == 0xC2 && i + 1 < text.size() && IsC1(static_cast<unsigned char>(text[i + 1]))) {
      i += 2;  // a C1 control in UTF-8
    } else {
      // A byte from 0x80 to 0x9F after another high byte continues a UTF-8
      // character (or is a Latin-1 text's own); alone it is a C1 control.
      const bool kept = c == '\t' || c == '\r' || c == '\n' || (c >= ' ' && c != 0x7F && !IsC1(c)) ||
                        (IsC1(c) && !out.empty() && static_cast<unsigned char>(out.back()) >= 0x80);
      if (IsC1(c) && kept && out.back() == '\xC2') {
        out.pop_back();  // the two met once what stood between them was dropped
      } else if (kept) {
        out += text[i];
      }
      ++i;
    }
  }
  return out;
}

int32_t ParseDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<int32_t>::max()) {
      value = int64_t{std::numeric_limits<int32_t>::max()} + (negative ? 1 : 0);
      break;
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) return 1;
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  const uint8_t second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F)) return 0;  // overlong, surrogate
  if ((lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) return 0;  // overlong, too large
  return length;
}

namespace {

// Calls each(start, length, valid) for every character in order.
template <typename Each>
void ForEachCharacter(std::string_view text, Each&& each) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceLength(text, at);
    each(at, length == 0 ? 1 : length, length != 0);
    at += length == 0 ? 1 : length;
  }
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  bool valid = true;
  ForEachCharacter(text, [&](size_t, size_t, bool ok) { valid = valid && ok; });
  return valid;
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  ForEachCharacter(text, [&](size_t, size_t, bool) { ++count; });
  return count;
}

std::string ToValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachCharacter(text, [&](size_t at, size_t length, bool valid) {
    const auto byte = static_cast<uint8_t>(text[at]);
    if (valid) {
      out.append(text.substr(at, length));
    } else {
      out += static_cast<char>(0xC0 | byte >> 6);
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  });
  return out;
}

std::string_view Truncate(std::string_view text, size_t max_bytes) {
  size_t end = 0;
  ForEachCharacter(text, [&](size_t at, size_t length, bool) {
    if (at == end && at + length <= max_bytes) end = at + length;
  });
  return text.substr(0, end);
}

std::vector<std::string_view> SplitOnCharacters(std::string_view text, size_t max_bytes) {
  std::vector<std::string_view> pieces;
  while (!text.empty()) {
    std::string_view piece = Truncate(text, std::max<size_t>(max_bytes, 4));
    pieces.push_back(piece);
    text.remove_prefix(piece.size());
  }
  return pieces;
}

std::string PadColumn(std::string_view text, size_t width) {
  std::string out;
  size_t count = 0;
  ForEachCharacter(text, [&](size_t at, size_t length, bool) {
    if (count == width) return;
    out.append(text.substr(at, length));
    ++count;
  });
  out.append(width - count, ' ');
  return out;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(out.data(), out.size() + 1, format, args);
  va_end(args);
  return out;
}

}  // namespace vorn
