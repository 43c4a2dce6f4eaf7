#include "app/upgrade_notice/upgrade_settings.h"

#include <QSettings>
#include <QStandardPaths>

namespace novaleaf {
namespace {

constexpr const char* kServerKey = "upgrade/server";
constexpr const char* kShowAtStartupKey = "upgrade/show-at-startup";
constexpr const char* kServerVariable = "QUILLON_UPGRADE_URL";

QUrl WebServer(const QString& text) {
  const QUrl url(text.trimmed(), QUrl::StrictMode);
  const bool web = url.scheme() == "http" || url.scheme() == "https";
  return url.isValid() && web && !url.host().isEmpty() ? url : QUrl();
}

}  // namespace

QString SettingsFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/quillon/upgrade.conf";
}

QUrl ConfiguredServer() {
  if (qEnvironmentVariableIsSet(kServerVariable)) {
    return WebServer(qEnvironmentVariable(kServerVariable));
  }
  const QSettings settings(SettingsFilePath(), QSettings::IniFormat);
  return WebServer(settings.value(kServerKey).toString());
}

bool ShowAtStartup() {
  const QSettings settings(SettingsFilePath(), QSettings::IniFormat);
  return settings.value(kShowAtStartupKey, true).toBool();
}

void SetShowAtStartup(bool show) {
  QSettings settings(SettingsFilePath(), QSettings::IniFormat);
  settings.setValue(kShowAtStartupKey, show);
}

}  // namespace novaleaf
