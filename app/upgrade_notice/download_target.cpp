#include "app/upgrade_notice/download_target.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace novaleaf {
namespace {

constexpr int kMostCopies = 999;

bool Taken(const QString& path) {
  return QFileInfo::exists(path) || QFileInfo::exists(PartialPath(path));
}

}  // namespace

QString InstallerFileName(const QString& installerPath) {
  QString name = installerPath.section(QRegularExpression(R"([/\\])"), -1);
  name.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
  name = name.trimmed();
  while (name.startsWith('.')) name.remove(0, 1);
  return name.isEmpty() ? QStringLiteral("quillon-upgrade") : name;
}

QString DownloadFolder() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  return folder.isEmpty() ? QDir::homePath() : folder;
}

QString FreeDownloadPath(const QString& folder, const QString& fileName) {
  const QDir dir(folder);
  const QString first = dir.filePath(fileName);
  if (!Taken(first)) return first;
  const qsizetype dot = fileName.lastIndexOf('.');
  const QString stem = dot > 0 ? fileName.left(dot) : fileName;
  const QString suffix = dot > 0 ? fileName.mid(dot) : QString();
  for (int copy = 1; copy <= kMostCopies; ++copy) {
    const QString candidate = dir.filePath(QStringLiteral("%1 (%2)%3").arg(stem).arg(copy).arg(suffix));
    if (!Taken(candidate)) return candidate;
  }
  return {};
}

QString PartialPath(const QString& path) { return path + ".part"; }

}  // namespace novaleaf
