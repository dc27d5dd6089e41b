#pragma once
// The folder that downloads are saved in when /get names no folder: the
// profile's "Download Folder" (section "Misc"), or, while that is empty,
// the user's Downloads folder. The default is stored as empty, so that it
// follows the system's choice.
#include <QString>
#include <filesystem>

#include "platform/profile.h"

namespace vorn {

QString DefaultDownloadFolder();
QString DownloadFolder(Profile& profile);
void SaveDownloadFolder(Profile& profile, const QString& folder);
// What is wrong with a folder the user typed; empty when it can be used.
QString CheckDownloadFolder(const QString& folder);
// UI thread, as a download starts: the folder, made when it is missing.
std::filesystem::path PrepareDownloadFolder(Profile& profile);

}  // namespace vorn
