#include "settings/color_sheet_model.h"

#include <algorithm>
#include <cctype>

#include "platform/text.h"

namespace vorn {
namespace {

bool ListsBefore(const std::string& a, const std::string& b) {
  const auto fold = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  const bool less = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                 [&](char x, char y) { return fold(x) < fold(y); });
  if (less) return true;
  const bool greater = std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                                    [&](char x, char y) { return fold(x) < fold(y); });
  return !greater && a < b;
}

}  // namespace

MessageColors::MessageColors(const SettingsStore& store) {
  for (MessageClass cls : kClasses) Set(cls, store.ColorOf(cls));
}

size_t MessageColors::Index(MessageClass cls) {
  for (size_t i = 0; i < kClasses.size(); ++i) {
    if (kClasses[i] == cls) return i;
  }
  return 0;
}

void MessageColors::ApplyTo(SettingsStore& store) const {
  for (MessageClass cls : kClasses) store.SetMessageColor(cls, Get(cls));
}

std::vector<std::string> NicknameColors::Nicknames() const {
  std::vector<std::string> names;
  names.reserve(colors_.size());
  for (const auto& entry : colors_) names.push_back(entry.first);
  std::sort(names.begin(), names.end(), ListsBefore);
  return names;
}

uint32_t NicknameColors::ColorOf(std::string_view nickname) const {
  auto it = colors_.find(nickname);
  return it != colors_.end() ? it->second : chat_color_;
}

void NicknameColors::SetColor(std::string_view nickname, uint32_t color) {
  colors_.insert_or_assign(std::string(nickname), color);
}

void NicknameColors::Ensure(std::string_view nickname) {
  if (!Contains(nickname)) SetColor(nickname, chat_color_);
}

void NicknameColors::Add(std::string_view nickname) { SetColor(nickname, chat_color_); }

bool NicknameColors::Remove(std::string_view nickname) {
  auto it = colors_.find(nickname);
  if (it == colors_.end()) return false;
  colors_.erase(it);
  return true;
}

void ApplyColorSheet(SettingsStore& store, const MessageColors& colors, const NicknameColors& nicknames) {
  colors.ApplyTo(store);
  store.ApplyChatColors(nicknames.colors());
  store.SaveColors();
}

std::string RemoveColorQuestion(std::string_view nickname) {
  return Format("Do you really want to remove the color setting for %.*s?", static_cast<int>(nickname.size()),
                nickname.data());
}

}  // namespace vorn
