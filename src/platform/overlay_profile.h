#pragma once
// A profile whose chosen values are replaced for one run without being
// written: command-line flags over a stored profile. An overridden value read
// as a number is the decimal number its text begins with.
#include <map>
#include <string>
#include <utility>

#include "platform/profile.h"
#include "platform/text.h"

namespace vorn {

class OverlayProfile final : public Profile {
 public:
  explicit OverlayProfile(Profile& base) : base_(base) {}

  void Override(std::string_view section, std::string_view key, std::string_view value) {
    overrides_[{std::string(section), std::string(key)}] = std::string(value);
  }

  std::string GetString(std::string_view section, std::string_view key, std::string_view fallback) override {
    if (const std::string* value = Find(section, key)) return *value;
    return base_.GetString(section, key, fallback);
  }
  int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) override {
    if (const std::string* value = Find(section, key)) return ParseDecimal(*value);
    return base_.GetInt(section, key, fallback);
  }
  // A form that shows the run's value and writes it back unchanged must not
  // store it; a value the user changed is stored and used from now on.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value) override {
    if (const std::string* current = Find(section, key)) {
      if (*current == value) return true;
      overrides_.erase({std::string(section), std::string(key)});
    }
    return base_.WriteString(section, key, value);
  }
  bool WriteInt(std::string_view section, std::string_view key, int32_t value) override {
    return base_.WriteInt(section, key, value);
  }
  std::optional<std::vector<ProfileValue>> Enumerate(std::string_view section) override {
    return base_.Enumerate(section);
  }
  bool DeleteValue(std::string_view section, std::string_view key) override { return base_.DeleteValue(section, key); }
  bool DeleteSection(std::string_view section) override { return base_.DeleteSection(section); }

 private:
  const std::string* Find(std::string_view section, std::string_view key) const {
    auto it = overrides_.find({std::string(section), std::string(key)});
    return it == overrides_.end() ? nullptr : &it->second;
  }

  Profile& base_;
  std::map<std::pair<std::string, std::string>, std::string> overrides_;
};

}  // namespace vorn
