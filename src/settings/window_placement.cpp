#include "settings/window_placement.h"

#include <array>
#include <limits>

#include "platform/text.h"

namespace vorn {
namespace {

constexpr std::string_view kWindowsSection = "Windows";
constexpr std::string_view kColorsSection = "Colors";

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%d": white space, an optional sign, at least one digit. Advances
// `text` past what it read.
std::optional<int> ReadInt(std::string_view& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t first_digit = i;
  int64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{std::numeric_limits<int>::max()} + 1) return std::nullopt;
  }
  if (i == first_digit) return std::nullopt;
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max()) return std::nullopt;
  text.remove_prefix(i);
  return static_cast<int>(value);
}

}  // namespace

std::string FormatWindowPlacement(const WindowPlacement& placement) {
  const WindowRect& r = placement.normal;
  return Format("%d,%d,%d,%d,%d", r.left, r.top, r.right, r.bottom, placement.show);
}

std::optional<WindowPlacement> ParseWindowPlacement(std::string_view text) {
  std::array<int, 5> numbers{};
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) {
      if (text.empty() || text.front() != ',') return std::nullopt;
      text.remove_prefix(1);
    }
    std::optional<int> number = ReadInt(text);
    if (!number) return std::nullopt;
    numbers[i] = *number;
  }
  return WindowPlacement{{numbers[0], numbers[1], numbers[2], numbers[3]}, numbers[4]};
}

bool SaveWindowPlacement(Profile& profile, std::string_view key, const WindowPlacement& current,
                         WindowPlacement& stored) {
  if (key.empty() || current == stored) return false;
  // A window that never had a stored rectangle (first run) and is closed
  // maximised would otherwise reopen with an empty restored size.
  if (current.show == WindowPlacement::kNormal || stored.normal.IsEmpty()) stored.normal = current.normal;
  stored.show = current.show;
  profile.WriteString(kWindowsSection, key, FormatWindowPlacement(stored));
  return true;
}

bool RestoreWindowPlacement(Profile& profile, std::string_view key, WindowPlacement& stored) {
  std::optional<WindowPlacement> read = ParseWindowPlacement(profile.GetString(kWindowsSection, key, ""));
  if (!read) return false;
  stored = *read;
  return true;
}

std::optional<uint32_t> LoadBackgroundColor(Profile& profile, std::string_view window_key) {
  std::string key = std::string(window_key) + " Background";
  // The profile answers with the fallback for an absent value; two reads
  // with different fallbacks tell absence from any stored colour.
  int32_t first = profile.GetInt(kColorsSection, key, 0);
  int32_t second = profile.GetInt(kColorsSection, key, 1);
  if (first != second) return std::nullopt;
  return static_cast<uint32_t>(first);
}

bool SaveBackgroundColor(Profile& profile, std::string_view window_key, uint32_t color) {
  return profile.WriteInt(kColorsSection, std::string(window_key) + " Background", static_cast<int32_t>(color));
}

bool LoadChatListOpen(Profile& profile) { return profile.GetInt(kWindowsSection, "Chat List Open", 0) != 0; }

bool SaveChatListOpen(Profile& profile, bool open) {
  return profile.WriteInt(kWindowsSection, "Chat List Open", open ? 1 : 0);
}

}  // namespace vorn
