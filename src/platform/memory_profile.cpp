#include "platform/memory_profile.h"

#include <algorithm>

namespace vorn {

MemoryProfile::Section* MemoryProfile::FindSection(std::string_view name) {
  auto it = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) { return s.name == name; });
  return it == sections_.end() ? nullptr : &*it;
}

ProfileValue* MemoryProfile::FindValue(std::string_view section, std::string_view key) {
  Section* s = FindSection(section);
  if (!s) return nullptr;
  auto it = std::find_if(s->values.begin(), s->values.end(), [&](const ProfileValue& v) { return v.name == key; });
  return it == s->values.end() ? nullptr : &*it;
}

ProfileValue& MemoryProfile::Slot(std::string_view section, std::string_view key) {
  if (ProfileValue* v = FindValue(section, key)) return *v;
  Section* s = FindSection(section);
  if (!s) s = &sections_.emplace_back(Section{std::string(section), {}});
  ProfileValue& v = s->values.emplace_back();
  v.name = std::string(key);
  return v;
}

std::string MemoryProfile::GetString(std::string_view section, std::string_view key, std::string_view fallback) {
  std::lock_guard lock(mutex_);
  const ProfileValue* v = broken_ ? nullptr : FindValue(section, key);
  return v && v->type == ProfileValueType::String ? v->text : std::string(fallback);
}

int32_t MemoryProfile::GetInt(std::string_view section, std::string_view key, int32_t fallback) {
  std::lock_guard lock(mutex_);
  const ProfileValue* v = broken_ ? nullptr : FindValue(section, key);
  return v && v->type == ProfileValueType::Integer ? static_cast<int32_t>(v->number) : fallback;
}

bool MemoryProfile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::lock_guard lock(mutex_);
  if (broken_) return false;
  ProfileValue& v = Slot(section, key);
  v.type = ProfileValueType::String;
  v.text = std::string(value);
  v.number = 0;
  return true;
}

bool MemoryProfile::WriteInt(std::string_view section, std::string_view key, int32_t value) {
  std::lock_guard lock(mutex_);
  if (broken_) return false;
  ProfileValue& v = Slot(section, key);
  v.type = ProfileValueType::Integer;
  v.text.clear();
  v.number = static_cast<uint32_t>(value);
  return true;
}

std::optional<std::vector<ProfileValue>> MemoryProfile::Enumerate(std::string_view section) {
  std::lock_guard lock(mutex_);
  if (broken_) return std::nullopt;
  const Section* s = FindSection(section);
  return s ? s->values : std::vector<ProfileValue>{};
}

bool MemoryProfile::DeleteValue(std::string_view section, std::string_view key) {
  std::lock_guard lock(mutex_);
  Section* s = broken_ ? nullptr : FindSection(section);
  if (!s) return false;
  auto removed = std::erase_if(s->values, [&](const ProfileValue& v) { return v.name == key; });
  return removed > 0;
}

bool MemoryProfile::DeleteSection(std::string_view section) {
  std::lock_guard lock(mutex_);
  if (broken_) return false;
  std::erase_if(sections_, [&](const Section& s) { return s.name == section; });
  return true;
}

}  // namespace vorn
