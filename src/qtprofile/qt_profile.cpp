#include "qt_profile.h"

#include <QFile>

#include "platform/text.h"

namespace vorn {

namespace {

const QString kIntPrefix = QStringLiteral("dword:");
const QString kTextPrefix = QStringLiteral("sz:");

QString ToQ(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString Path(std::string_view section, std::string_view key) {
  return EncodeProfileName(section) + QLatin1Char('/') + EncodeProfileName(key);
}

// An unquoted value with commas reads back as a list; the profile knows none.
QString StoredText(const QVariant& stored) {
  if (stored.typeId() == QMetaType::QStringList) return stored.toStringList().join(QLatin1Char(','));
  return stored.toString();
}

bool IsDecimal(const QString& text) {
  QString trimmed = text.trimmed();
  if (trimmed.startsWith(QLatin1Char('-')) || trimmed.startsWith(QLatin1Char('+'))) trimmed.remove(0, 1);
  if (trimmed.isEmpty()) return false;
  for (QChar c : trimmed)
    if (!c.isDigit()) return false;
  return true;
}

// A section header's name as QSettings escapes it in INI files: "%XX" and
// "%UXXXX" stand for one character each.
QString UnescapeIniName(const QString& name) {
  QString out;
  for (qsizetype i = 0; i < name.size(); ++i) {
    const bool wide = name.mid(i, 2) == QStringLiteral("%U");
    const QString hex = name.mid(i + (wide ? 2 : 1), wide ? 4 : 2);
    bool ok = false;
    const uint code = hex.toUInt(&ok, 16);
    if (name[i] == QLatin1Char('%') && ok && hex.size() == (wide ? 4 : 2)) {
      out += QChar(static_cast<char16_t>(code));
      i += hex.size() + (wide ? 1 : 0);
    } else {
      out += name[i];
    }
  }
  return out;
}

// A copy next to path that overwrites no earlier copy; empty when none
// could be made.
QString KeepCopy(const QString& path) {
  for (int n = 1; n < 100; ++n) {
    const QString copy = path + (n == 1 ? QStringLiteral(".bak") : QStringLiteral(".bak%1").arg(n));
    if (QFile::exists(copy)) continue;
    return QFile::copy(path, copy) ? copy : QString();
  }
  return {};
}

}  // namespace

QByteArray UnreadSections(const QByteArray& ini, const QStringList& groups) {
  QByteArray lost, section;
  bool unread = false, has_values = false;
  auto close_section = [&] {
    if (unread && has_values) lost += section;
    section.clear();
    has_values = false;
  };
  for (const QByteArray& line : ini.split('\n')) {
    const QByteArray trimmed = line.trimmed();
    if (trimmed.startsWith('[') && trimmed.endsWith(']')) {
      close_section();
      const QString name = UnescapeIniName(QString::fromLatin1(trimmed.mid(1, trimmed.size() - 2)));
      unread = name != QStringLiteral("General") && !groups.contains(name);
    }
    if (trimmed.contains('=')) has_values = true;
    section += line + '\n';
  }
  close_section();
  return lost;
}

QString EncodeProfileString(std::string_view text) {
  QString value = ToQ(text);
  if (value.startsWith(kIntPrefix) || value.startsWith(kTextPrefix)) return kTextPrefix + value;
  return value;
}

QString EncodeProfileInt(int32_t value) {
  return kIntPrefix + QStringLiteral("%1").arg(static_cast<uint32_t>(value), 8, 16, QLatin1Char('0'));
}

ProfileValue DecodeProfileValue(const QString& name, const QString& stored) {
  ProfileValue value;
  value.name = DecodeProfileName(name);
  if (stored.startsWith(kIntPrefix)) {
    bool ok = false;
    uint32_t number = stored.mid(kIntPrefix.size()).toUInt(&ok, 16);
    if (ok) {
      value.type = ProfileValueType::Integer;
      value.number = number;
      return value;
    }
  }
  value.text = (stored.startsWith(kTextPrefix) ? stored.mid(kTextPrefix.size()) : stored).toStdString();
  return value;
}

QString EncodeProfileName(std::string_view name) {
  QString out;
  for (QChar c : ToQ(name)) {
    if (c == QLatin1Char('%'))
      out += QStringLiteral("%25");
    else if (c == QLatin1Char('/'))
      out += QStringLiteral("%2F");
    else if (c == QLatin1Char('\\'))
      out += QStringLiteral("%5C");
    else
      out += c;
  }
  return out;
}

std::string DecodeProfileName(const QString& name) {
  QString out = name;
  out.replace(QStringLiteral("%2F"), QStringLiteral("/"));
  out.replace(QStringLiteral("%5C"), QStringLiteral("\\"));
  out.replace(QStringLiteral("%25"), QStringLiteral("%"));
  return out.toStdString();
}

QtProfile::QtProfile() : settings_(std::make_unique<QSettings>(QStringLiteral("Vorn"), QStringLiteral("vorn95"))) {
  CheckRead();
}

QtProfile::QtProfile(const QString& path) : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {
  CheckRead();
}

// QSettings may report no error and still have skipped sections (a quoted
// value that never ends), so the sections are counted as well.
void QtProfile::CheckRead() {
  QFile file(settings_->fileName());
  if (!file.open(QIODevice::ReadOnly)) return;
  lost_sections_ = UnreadSections(file.readAll(), settings_->childGroups());
  if (settings_->status() == QSettings::NoError && lost_sections_.isEmpty()) return;
  const QString copy = KeepCopy(settings_->fileName());
  read_problem_ = (QStringLiteral("The profile %1 could not be read completely; ").arg(settings_->fileName()) +
                   (copy.isEmpty() ? QStringLiteral("no copy of it could be made.")
                                   : QStringLiteral("a copy of it is kept in %1.").arg(copy)))
                      .toStdString();
}

bool QtProfile::Commit() {
  settings_->sync();
  // A section that this write created keeps its old values in the copy only.
  lost_sections_ = UnreadSections(lost_sections_, settings_->childGroups());
  if (!lost_sections_.isEmpty()) {
    // Behind the rewritten file, where the next sync and the next run read them.
    QFile file(settings_->fileName());
    if (file.open(QIODevice::Append)) file.write("\n" + lost_sections_);
    lost_sections_.clear();
  }
  return settings_->isWritable() && settings_->status() != QSettings::AccessError;
}

QString QtProfile::FileName() const { return settings_->fileName(); }

std::string QtProfile::GetString(std::string_view section, std::string_view key, std::string_view fallback) {
  std::lock_guard lock(mutex_);
  QVariant stored = settings_->value(Path(section, key));
  if (!stored.isValid()) return std::string(fallback);
  ProfileValue value = DecodeProfileValue({}, StoredText(stored));
  return value.type == ProfileValueType::String ? value.text : std::string(fallback);
}

int32_t QtProfile::GetInt(std::string_view section, std::string_view key, int32_t fallback) {
  std::lock_guard lock(mutex_);
  QVariant stored = settings_->value(Path(section, key));
  if (!stored.isValid()) return fallback;
  QString text = StoredText(stored);
  ProfileValue value = DecodeProfileValue({}, text);
  if (value.type == ProfileValueType::Integer) return static_cast<int32_t>(value.number);
  // A number typed into the file by hand.
  return IsDecimal(text) ? ParseDecimal(text.toStdString()) : fallback;
}

bool QtProfile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::lock_guard lock(mutex_);
  settings_->setValue(Path(section, key), EncodeProfileString(value));
  return Commit();
}

bool QtProfile::WriteInt(std::string_view section, std::string_view key, int32_t value) {
  std::lock_guard lock(mutex_);
  settings_->setValue(Path(section, key), EncodeProfileInt(value));
  return Commit();
}

std::optional<std::vector<ProfileValue>> QtProfile::Enumerate(std::string_view section) {
  std::lock_guard lock(mutex_);
  if (settings_->status() == QSettings::AccessError) return std::nullopt;
  std::vector<ProfileValue> values;
  settings_->beginGroup(EncodeProfileName(section));
  const QStringList keys = settings_->childKeys();
  for (const QString& key : keys) values.push_back(DecodeProfileValue(key, StoredText(settings_->value(key))));
  settings_->endGroup();
  return values;
}

bool QtProfile::DeleteValue(std::string_view section, std::string_view key) {
  std::lock_guard lock(mutex_);
  QString path = Path(section, key);
  if (!settings_->contains(path)) return false;
  settings_->remove(path);
  return Commit();
}

bool QtProfile::DeleteSection(std::string_view section) {
  std::lock_guard lock(mutex_);
  settings_->remove(EncodeProfileName(section));
  return Commit();
}

}  // namespace vorn
