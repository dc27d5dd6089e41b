#pragma once
// The settings profile: sections of named values, each a string or a 32-bit
// integer, as the settings store reads and writes them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

enum class ProfileValueType { String, Integer };

struct ProfileValue {
  std::string name;
  ProfileValueType type = ProfileValueType::String;
  std::string text;     // for String
  uint32_t number = 0;  // for Integer
};

class Profile {
 public:
  virtual ~Profile() = default;
  // A missing value, or one of the other type, yields the default.
  virtual std::string GetString(std::string_view section, std::string_view key, std::string_view fallback) = 0;
  virtual int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) = 0;
  virtual bool WriteString(std::string_view section, std::string_view key, std::string_view value) = 0;
  virtual bool WriteInt(std::string_view section, std::string_view key, int32_t value) = 0;
  // Every value of a section in stored order; an absent section is empty.
  // nullopt when the profile cannot be read at all.
  virtual std::optional<std::vector<ProfileValue>> Enumerate(std::string_view section) = 0;
  virtual bool DeleteValue(std::string_view section, std::string_view key) = 0;
  virtual bool DeleteSection(std::string_view section) = 0;
};

}  // namespace vorn
