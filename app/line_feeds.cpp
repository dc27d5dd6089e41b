#include "line_feeds.h"

namespace vorn {
namespace {

constexpr char kDash = static_cast<char>(0xC4);

}  // namespace

bool NeedsLineFeedConversion(std::string_view text) {
  size_t at = text.find('\n');
  if (at == std::string_view::npos) at = text.find(kDash);
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
    for (char c : line) out += c == kDash ? '-' : c;
    if (!has_line_feed) break;
    out += "\r\n";
    start = end + 1;
  }
  return out;
}

std::string PrepareForView(std::string_view text) {
  return NeedsLineFeedConversion(text) ? ConvertLineFeeds(text) : std::string(text);
}

}  // namespace vorn
