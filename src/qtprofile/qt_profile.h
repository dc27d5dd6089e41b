#pragma once
// The settings profile in a QSettings file: sections are groups, values keep
// their type. QSettings' INI files have no value types of their own, so an
// integer is written as "dword:" and eight hex digits (as registry exports
// show them); a text that itself begins with "dword:" or "sz:" is written
// behind "sz:". Hand-edited decimal numbers still read as integers.
//
// A file that QSettings cannot read completely (it stops at a line it does
// not understand, and a stray quote swallows every later section) would lose
// what it skipped on the next write. Such a file is copied aside when it is
// opened, and the first write puts the sections that were not read back
// after the rewritten ones, so that later runs read them again.
#include <QSettings>
#include <memory>
#include <mutex>

#include "platform/profile.h"

namespace vorn {

class QtProfile final : public Profile {
 public:
  // The program's own profile: organisation "Vorn", application "vorn95".
  QtProfile();
  // A profile file of the same layout at path.
  explicit QtProfile(const QString& path);

  std::string GetString(std::string_view section, std::string_view key, std::string_view fallback) override;
  int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) override;
  bool WriteString(std::string_view section, std::string_view key, std::string_view value) override;
  bool WriteInt(std::string_view section, std::string_view key, int32_t value) override;
  std::optional<std::vector<ProfileValue>> Enumerate(std::string_view section) override;
  bool DeleteValue(std::string_view section, std::string_view key) override;
  bool DeleteSection(std::string_view section) override;

  QString FileName() const;
  // Empty when the file was read completely; otherwise the line that says
  // what happened and where the copy is, for the user to see.
  std::string ReadProblem() const { return read_problem_; }

 private:
  void CheckRead();
  // Writes the changes, the first time with the sections that were not read.
  bool Commit();
  std::mutex mutex_;
  std::unique_ptr<QSettings> settings_;
  std::string read_problem_;
  QByteArray lost_sections_;  // raw text, put back by the first write
};

// The raw text of every section of ini that has values but is not among
// groups (the sections that were read).
QByteArray UnreadSections(const QByteArray& ini, const QStringList& groups);

// The stored text of a value and back; exposed for tests.
QString EncodeProfileString(std::string_view text);
QString EncodeProfileInt(int32_t value);
ProfileValue DecodeProfileValue(const QString& name, const QString& stored);
// Section and key names with the characters QSettings reserves escaped.
QString EncodeProfileName(std::string_view name);
std::string DecodeProfileName(const QString& name);

}  // namespace vorn
