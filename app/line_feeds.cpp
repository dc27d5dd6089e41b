#include "line_feeds.h"

#include "platform/text.h"

namespace vorn {
namespace {

constexpr char kDash = static_cast<char>(0xC4);

// 0xC4 also leads UTF-8 characters (U+0100 to U+013F); only a lone one is
// the old code page's dash.
bool IsCodePageDash(std::string_view text, size_t at) { return text[at] == kDash && Utf8SequenceLength(text, at) == 0; }

size_t FindCodePageDash(std::string_view text) {
  for (size_t at = text.find(kDash); at != std::string_view::npos; at = text.find(kDash, at + 1)) {
    if (IsCodePageDash(text, at)) return at;
  }
  return std::string_view::npos;
}

}  // namespace

bool NeedsLineFeedConversion(std::string_view text) {
  size_t at = text.find('\n');
  if (at == std::string_view::npos) at = FindCodePageDash(text);
  if (at == std::string_view::npos || at == 0) return false;
  const bool cr_after = at + 1 < text.size() && text[at + 1] == '\r';
  return text[at - 1] != '\r' && !cr_after;
}

std::string ConvertLineFeeds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 2);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const bool has_line_feed = end != std::string_view::npos;
    std::string_view line = text.substr(start, has_line_feed ? end - start : std::string_view::npos);
    // A line that already has its CR keeps one, not two.
    if (has_line_feed && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    for (size_t i = 0; i < line.size(); ++i) out += IsCodePageDash(line, i) ? '-' : line[i];
    if (!has_line_feed) break;
    out += "\r\n";
    start = end + 1;
  }
  return out;
}

std::string StampLines(std::string_view text, std::string_view stamp, bool& at_line_start) {
  std::string out;
  out.reserve(text.size() + stamp.size() * 2);
  for (char c : text) {
    if (at_line_start) out += stamp;
    out += c;
    at_line_start = c == '\n';
  }
  return out;
}

std::string PrepareForView(std::string_view text) {
  return NeedsLineFeedConversion(text) ? ConvertLineFeeds(text) : std::string(text);
}

}  // namespace vorn
