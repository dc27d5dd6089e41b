#include "download_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace vorn {
namespace {

constexpr std::string_view kSection = "Misc";
constexpr std::string_view kKey = "Download Folder";

}  // namespace

QString DefaultDownloadFolder() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  return QDir::cleanPath(folder.isEmpty() ? QDir::homePath() : folder);
}

QString DownloadFolder(Profile& profile) {
  const QString stored = QString::fromStdString(profile.GetString(kSection, kKey, ""));
  return stored.isEmpty() ? DefaultDownloadFolder() : stored;
}

void SaveDownloadFolder(Profile& profile, const QString& folder) {
  const QString clean = folder.trimmed().isEmpty() ? QString() : QDir::cleanPath(folder.trimmed());
  profile.WriteString(kSection, kKey, clean == DefaultDownloadFolder() ? std::string() : clean.toStdString());
}

QString CheckDownloadFolder(const QString& folder) {
  const QString trimmed = folder.trimmed();
  if (trimmed.isEmpty()) return {};
  if (!QDir::isAbsolutePath(trimmed)) return QStringLiteral("The download folder must be a full path.");
  const QFileInfo info(trimmed);
  if (info.exists() && !info.isDir()) return QStringLiteral("The download folder names a file, not a folder.");
  return {};
}

std::filesystem::path PrepareDownloadFolder(Profile& profile) {
  const QString folder = DownloadFolder(profile);
  // Should it fail, the download says that its file cannot be written.
  QDir().mkpath(folder);
  return std::filesystem::path(QFile::encodeName(folder).toStdString());
}

}  // namespace vorn
