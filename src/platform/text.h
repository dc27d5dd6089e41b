#pragma once
// Small text helpers with the C library's meaning but no undefined
// behaviour on long or odd input.
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal value as atoi reads it: optional leading white space and sign, then
// leading digits; 0 when there are none. Saturates instead of overflowing.
int32_t ParseDecimal(std::string_view text);

// ASCII letter case folded.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Text cut to at most max_chars characters.
inline std::string_view Truncate(std::string_view text, size_t max_chars) { return text.substr(0, max_chars); }

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vorn
