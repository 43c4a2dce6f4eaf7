#include "app/location_box.h"

#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QLineEdit>
#include <QStorageInfo>

namespace {

constexpr int kVisibleRows = 8;

// Volumes on block devices mounted somewhere other than the root: discs,
// memory sticks, other partitions.
QStringList MountedVolumes() {
  QStringList volumes;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (volume.isValid() && volume.isReady() && !volume.isRoot() &&
        volume.device().startsWith("/dev/")) {
      volumes << volume.rootPath();
    }
  }
  volumes.sort();
  return volumes;
}

}  // namespace

LocationBox::LocationBox(QWidget* parent, std::function<bool(const QString&)> open)
    : QComboBox(parent), open_(std::move(open)) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setMaxVisibleItems(kVisibleRows);
  AddLocations();
  connect(this, &QComboBox::activated, this, [this](int row) { OpenTyped(itemText(row)); });
  connect(lineEdit(), &QLineEdit::returnPressed, this, [this] { OpenTyped(currentText()); });
}

void LocationBox::ShowLocation(const QString& path) {
  shown_ = path;
  const int row = findData(path);
  if (row >= 0) setCurrentIndex(row);
  setEditText(path.isEmpty() ? ComputerCaption() : QDir::toNativeSeparators(path));
}

void LocationBox::AddLocations() {
  const QFileIconProvider icons;
  addItem(icons.icon(QFileIconProvider::Computer), ComputerCaption(), QString());
  addItem(icons.icon(QFileIconProvider::Drive), "/", "/");
  addItem(icons.icon(QFileInfo(QDir::homePath())), QDir::homePath(), QDir::homePath());
  for (const QString& volume : MountedVolumes()) {
    addItem(icons.icon(QFileIconProvider::Drive), volume, volume);
  }
}

void LocationBox::OpenTyped(const QString& text) {
  const int row = findText(text);
  QString path = row >= 0 ? itemData(row).toString() : text.trimmed();
  if (path == "~" || path.startsWith("~/")) path.replace(0, 1, QDir::homePath());
  if (!path.isEmpty()) path = QDir::cleanPath(path);
  if (open_(path)) return;
  QApplication::beep();
  ShowLocation(shown_);
}
