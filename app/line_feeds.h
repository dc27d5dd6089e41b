#pragma once
// What the text views insert and log. Texts normally end their lines in
// CR LF; some (server texts from other programs, DOS-era clients) use bare
// line feeds and the code page's box-drawing dash 0xC4. Those are turned into
// CR LF lines with '-' before they reach the pane and the log file.
#include <string>
#include <string_view>

namespace vorn {

// True when the first line feed (or, with none, the first lone 0xC4) comes after
// the first byte and has no carriage return on either side.
bool NeedsLineFeedConversion(std::string_view text);

// Each line that ends in a line feed becomes the line, CR LF; every 0xC4
// that does not begin a UTF-8 character becomes '-'. Nothing is lost: a last piece without a line feed and lines
// of any length are kept whole (the piece keeps having no line end, so the
// next text continues it).
std::string ConvertLineFeeds(std::string_view text);

// The text converted when it needs it, otherwise unchanged.
std::string PrepareForView(std::string_view text);

// stamp before every line that begins in text; at_line_start says whether
// the text before ended its line, and is updated for the next text.
std::string StampLines(std::string_view text, std::string_view stamp, bool& at_line_start);

}  // namespace vorn
