// The message and nickname colours of the settings store.
#include <vector>

#include "settings/settings_store.h"

namespace vorn {
namespace {

constexpr std::string_view kColors = "Colors";
constexpr std::string_view kChatColors = "Chat Colors";

struct MessageColorKey {
  MessageClass cls;
  std::string_view key;
};
constexpr std::array<MessageColorKey, 4> kMessageColorKeys{{
    {MessageClass::Server, "Server"},
    {MessageClass::Private, "Private"},
    {MessageClass::Action, "Action"},
    {MessageClass::Chat, "Chat"},
}};

// The colour field of a message class, const or not with `settings`.
template <typename Settings>
auto& ColorSlot(Settings& settings, MessageClass cls) {
  switch (cls) {
    case MessageClass::Private:
      return settings.private_color;
    case MessageClass::Action:
      return settings.action_color;
    case MessageClass::Chat:
      return settings.chat_color;
    case MessageClass::Server:
      break;
  }
  return settings.server_color;
}

}  // namespace

// Profile reads happen outside the lock: the profile is code of its own.
void SettingsStore::LoadColors() {
  std::array<uint32_t, kMessageColorKeys.size()> colors{};
  {
    std::lock_guard lock(colors_mutex_);
    if (settings_.colors_loaded) return;
    for (size_t i = 0; i < colors.size(); ++i) colors[i] = ColorSlot(settings_, kMessageColorKeys[i].cls);
  }
  for (size_t i = 0; i < colors.size(); ++i) {
    colors[i] =
        static_cast<uint32_t>(profile_.GetInt(kColors, kMessageColorKeys[i].key, static_cast<int32_t>(colors[i])));
  }
  std::optional<std::vector<ProfileValue>> stored = profile_.Enumerate(kChatColors);
  std::lock_guard lock(colors_mutex_);
  for (size_t i = 0; i < colors.size(); ++i) ColorSlot(settings_, kMessageColorKeys[i].cls) = colors[i];
  settings_.colors_loaded = true;
  if (!stored) return;
  for (const ProfileValue& value : *stored) {
    if (value.type == ProfileValueType::Integer) chat_colors_[value.name] = value.number;
  }
}

void SettingsStore::SaveColors() {
  std::array<uint32_t, kMessageColorKeys.size()> colors{};
  ChatColorMap nicknames;
  {
    std::lock_guard lock(colors_mutex_);
    if (!settings_.colors_loaded) return;
    for (size_t i = 0; i < colors.size(); ++i) colors[i] = ColorSlot(settings_, kMessageColorKeys[i].cls);
    nicknames = chat_colors_;
  }
  for (size_t i = 0; i < colors.size(); ++i) {
    profile_.WriteInt(kColors, kMessageColorKeys[i].key, static_cast<int32_t>(colors[i]));
  }
  for (const auto& [nickname, color] : nicknames) {
    profile_.WriteInt(kChatColors, nickname, static_cast<int32_t>(color));
  }
}

bool SettingsStore::DeleteChatColor(std::string_view nickname) {
  if (nickname.empty()) return false;
  {
    std::lock_guard lock(colors_mutex_);
    auto it = chat_colors_.find(nickname);
    if (it == chat_colors_.end()) return false;
    chat_colors_.erase(it);
  }
  profile_.DeleteValue(kChatColors, nickname);
  return true;
}

void SettingsStore::SetChatColor(std::string_view nickname, uint32_t color) {
  std::lock_guard lock(colors_mutex_);
  chat_colors_.insert_or_assign(std::string(nickname), color);
}

void SettingsStore::ApplyChatColors(const ChatColorMap& edited) {
  for (const auto& [nickname, color] : ChatColors()) {
    if (!edited.contains(nickname)) DeleteChatColor(nickname);
  }
  std::lock_guard lock(colors_mutex_);
  chat_colors_ = edited;
}

ChatColorMap SettingsStore::ChatColors() const {
  std::lock_guard lock(colors_mutex_);
  return chat_colors_;
}

uint32_t SettingsStore::ChatColorFor(std::string_view nickname) const {
  std::lock_guard lock(colors_mutex_);
  auto it = chat_colors_.find(nickname);
  return it != chat_colors_.end() ? it->second : settings_.chat_color;
}

uint32_t SettingsStore::ColorOf(MessageClass cls) const {
  std::lock_guard lock(colors_mutex_);
  return ColorSlot(settings_, cls);
}

void SettingsStore::SetMessageColor(MessageClass cls, uint32_t color) {
  std::lock_guard lock(colors_mutex_);
  ColorSlot(settings_, cls) = color;
}

}  // namespace vorn
