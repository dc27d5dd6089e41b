#pragma once
#include <mutex>
#include <vector>

#include "platform/profile.h"

namespace vorn {

// A profile held in memory, in insertion order; for tests and for runs that
// must leave no trace.
class MemoryProfile final : public Profile {
 public:
  std::string GetString(std::string_view section, std::string_view key, std::string_view fallback) override;
  int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) override;
  bool WriteString(std::string_view section, std::string_view key, std::string_view value) override;
  bool WriteInt(std::string_view section, std::string_view key, int32_t value) override;
  std::optional<std::vector<ProfileValue>> Enumerate(std::string_view section) override;
  bool DeleteValue(std::string_view section, std::string_view key) override;
  bool DeleteSection(std::string_view section) override;

  // Makes every later call fail, as an unreadable profile would.
  void SetBroken(bool broken) { broken_ = broken; }

 private:
  struct Section {
    std::string name;
    std::vector<ProfileValue> values;
  };
  Section* FindSection(std::string_view name);
  ProfileValue* FindValue(std::string_view section, std::string_view key);
  ProfileValue& Slot(std::string_view section, std::string_view key);

  std::mutex mutex_;
  std::vector<Section> sections_;
  bool broken_ = false;
};

}  // namespace vorn
