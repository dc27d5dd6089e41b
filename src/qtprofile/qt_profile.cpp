#include "qt_profile.h"

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

}  // namespace

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
    if (c == QLatin1Char('%')) out += QStringLiteral("%25");
    else if (c == QLatin1Char('/')) out += QStringLiteral("%2F");
    else if (c == QLatin1Char('\\')) out += QStringLiteral("%5C");
    else out += c;
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

QtProfile::QtProfile() : settings_(std::make_unique<QSettings>(QStringLiteral("Vorn"), QStringLiteral("vorn95"))) {}

QtProfile::QtProfile(const QString& path) : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

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

bool QtProfile::Writable() { return settings_->isWritable() && settings_->status() == QSettings::NoError; }

bool QtProfile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::lock_guard lock(mutex_);
  settings_->setValue(Path(section, key), EncodeProfileString(value));
  settings_->sync();
  return Writable();
}

bool QtProfile::WriteInt(std::string_view section, std::string_view key, int32_t value) {
  std::lock_guard lock(mutex_);
  settings_->setValue(Path(section, key), EncodeProfileInt(value));
  settings_->sync();
  return Writable();
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
  settings_->sync();
  return Writable();
}

bool QtProfile::DeleteSection(std::string_view section) {
  std::lock_guard lock(mutex_);
  settings_->remove(EncodeProfileName(section));
  settings_->sync();
  return Writable();
}

}  // namespace vorn
