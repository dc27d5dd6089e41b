#pragma once
// The colour settings' working copies: the four message colours and the
// nickname colours are edited here and reach the settings store only when
// the sheet closes with OK.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_window.h"
#include "settings/settings_store.h"

namespace vorn {

// The longest nickname the entry dialog accepts.
inline constexpr size_t kColorNicknameChars = 16;

class MessageColors {
 public:
  static constexpr std::array<MessageClass, 4> kClasses{MessageClass::Action, MessageClass::Server,
                                                        MessageClass::Private, MessageClass::Chat};

  // Copies of the store's four colours.
  explicit MessageColors(const SettingsStore& store);
  uint32_t Get(MessageClass cls) const { return colors_[Index(cls)]; }
  void Set(MessageClass cls, uint32_t color) { colors_[Index(cls)] = color; }
  void ApplyTo(SettingsStore& store) const;

 private:
  static size_t Index(MessageClass cls);
  std::array<uint32_t, kClasses.size()> colors_{};
};

class NicknameColors {
 public:
  NicknameColors(ChatColorMap colors, uint32_t chat_color) : colors_(std::move(colors)), chat_color_(chat_color) {}

  // The list's order: letter case ignored, then byte order.
  std::vector<std::string> Nicknames() const;
  bool Contains(std::string_view nickname) const { return colors_.contains(nickname); }
  // The nickname's own colour, or the chat colour when it has none.
  uint32_t ColorOf(std::string_view nickname) const;
  void SetColor(std::string_view nickname, uint32_t color);
  // Lists a nickname that has no colour yet with the chat colour.
  void Ensure(std::string_view nickname);
  // Lists the nickname with the chat colour, also when it had one.
  void Add(std::string_view nickname);
  bool Remove(std::string_view nickname);
  const ChatColorMap& colors() const { return colors_; }

 private:
  ChatColorMap colors_;
  uint32_t chat_color_;
};

// What OK does: the four colours and the nickname map become the store's
// (nicknames no longer listed lose their stored value), then all is saved.
void ApplyColorSheet(SettingsStore& store, const MessageColors& colors, const NicknameColors& nicknames);

// The question before a nickname's colour is removed.
std::string RemoveColorQuestion(std::string_view nickname);

}  // namespace vorn
