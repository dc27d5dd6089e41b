#pragma once
// Small text helpers with the C library's meaning but no undefined
// behaviour on long or odd input.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal value as atoi reads it: optional leading white space and sign, then
// leading digits; 0 when there are none. Saturates instead of overflowing.
int32_t ParseDecimal(std::string_view text);

// ASCII letter case folded.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// UTF-8. Texts are bytes; where they are valid UTF-8 they are taken as such,
// and a byte that is not part of a valid sequence stands for itself (the
// old code page, read as Latin-1), so nothing is ever dropped.

// The length of the valid UTF-8 sequence at text[at], or 0 when none starts
// there (overlong forms, surrogates and values over U+10FFFF are invalid).
size_t Utf8SequenceLength(std::string_view text, size_t at);
bool IsValidUtf8(std::string_view text);
// Characters: each valid sequence and each other byte counts one.
size_t CharacterCount(std::string_view text);
// The text with every byte outside a valid sequence turned into the UTF-8
// of the Latin-1 character it stands for.
std::string ToValidUtf8(std::string_view text);

// At most max_bytes bytes, never ending inside a valid UTF-8 sequence.
std::string_view Truncate(std::string_view text, size_t max_bytes);
// Pieces of at most max_bytes (at least 4) bytes each, cut only between
// characters; none for an empty text.
std::vector<std::string_view> SplitOnCharacters(std::string_view text, size_t max_bytes);
// A column of width characters: cut to width characters, then padded with
// blanks to width; ASCII text gives what printf's "%-W.Ws" gives.
std::string PadColumn(std::string_view text, size_t width);

// The text as it may be shown or logged: without control characters and
// terminal escape sequences (CSI, OSC and the other string sequences, C1
// controls, also UTF-8 encoded), which a peer could send to move a
// terminal's cursor, retitle it or hide lines. Tabs and the line ends CR and
// LF stay; other bytes, valid UTF-8 or not, stay as they are.
std::string SanitizeText(std::string_view text);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vorn
