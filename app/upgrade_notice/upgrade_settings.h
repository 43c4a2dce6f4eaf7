#pragma once
// The user's upgrade settings (see novaleaf.h for the file and its keys).
// Read afresh on every use, so a change to the file takes effect at the next
// session without restarting the application.

#include <QString>
#include <QUrl>

namespace novaleaf {

QString SettingsFilePath();

// The upgrade server: QUILLON_UPGRADE_URL when set (even empty), otherwise
// the settings file's. Empty when there is none or it is not an http or
// https address with a host.
QUrl ConfiguredServer();

bool ShowAtStartup();
void SetShowAtStartup(bool show);

}  // namespace novaleaf
