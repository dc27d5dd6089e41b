#pragma once
// Window placements, text-window background colours and the chat list flag:
// what the windows remember about themselves in the profile.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace vorn {

struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  bool IsEmpty() const { return right <= left || bottom <= top; }
  friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

struct WindowPlacement {
  static constexpr int kNormal = 1;
  static constexpr int kMinimised = 2;
  static constexpr int kMaximised = 3;

  WindowRect normal;  // the restored rectangle
  int show = 0;       // 0 until a placement was read or saved

  friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

// "left,top,right,bottom,show".
std::string FormatWindowPlacement(const WindowPlacement& placement);
// Reads five decimal numbers separated by ','; each may have leading white
// space and a sign. nullopt unless all five are read and none overflows.
std::optional<WindowPlacement> ParseWindowPlacement(std::string_view text);

// Writes "Windows" / key when `current` differs from `stored`, and updates
// `stored`. A minimised or maximised window keeps the last normal rectangle
// in `stored`, so that it reopens at its restored size. Returns true when it
// wrote. Nothing happens for an empty key.
bool SaveWindowPlacement(Profile& profile, std::string_view key, const WindowPlacement& current,
                         WindowPlacement& stored);

// Reads "Windows" / key into `stored`; false (and `stored` untouched) unless
// all five numbers are there. The window then takes the normal rectangle
// with show state normal, and is minimised or maximised afterwards when
// `stored.show` says so.
bool RestoreWindowPlacement(Profile& profile, std::string_view key, WindowPlacement& stored);

// "Colors" / key + " Background"; nullopt means the system window colour.
std::optional<uint32_t> LoadBackgroundColor(Profile& profile, std::string_view window_key);
bool SaveBackgroundColor(Profile& profile, std::string_view window_key, uint32_t color);

// "Windows" / "Chat List Open": whether the chat list was open when the user
// last left the chat.
bool LoadChatListOpen(Profile& profile);
bool SaveChatListOpen(Profile& profile, bool open);

}  // namespace vorn
