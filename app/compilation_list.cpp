#include "app/compilation_list.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>

#include <filesystem>

namespace {
namespace fs = std::filesystem;
constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 1;
}  // namespace

CompilationList::CompilationList(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("lsvCD");
  setColumnCount(2);
  setHeaderLabels({"Name", "Size(byte)"});
  headerItem()->setTextAlignment(kSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
  setColumnWidth(kNameColumn, 480);
  setColumnWidth(kSizeColumn, 75);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
  header()->setSectionResizeMode(kSizeColumn, QHeaderView::ResizeToContents);
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setUniformRowHeights(true);
  setAlternatingRowColors(true);
}

bool CompilationList::IsInCompilation(const QString& caption) const {
  for (int row = 0; row < topLevelItemCount(); ++row) {
    if (topLevelItem(row)->text(kNameColumn) == caption) return true;
  }
  return false;
}

void CompilationList::AddPaths(const QStringList& paths, SizeStyle style) {
  setUpdatesEnabled(false);
  for (const QString& path : paths) {
    QString caption = path;
    if (QFileInfo(path).isDir() && !caption.endsWith('/')) caption += '/';
    if (IsInCompilation(caption)) continue;
    auto* item = new QTreeWidgetItem(this);
    item->setText(kNameColumn, caption);
    item->setText(kSizeColumn, SizeText(GetPathSize(caption), style));
    item->setTextAlignment(kSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
    item->setCheckState(kNameColumn, Qt::Checked);
  }
  setUpdatesEnabled(true);
}

void CompilationList::DeleteSelected() {
  qDeleteAll(selectedItems());
}

QList<CompilationList::Entry> CompilationList::Entries() const {
  QList<Entry> entries;
  for (int row = 0; row < topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = topLevelItem(row);
    entries.append({item->text(kNameColumn), item->checkState(kNameColumn) == Qt::Checked});
  }
  return entries;
}

std::uint64_t GetPathSize(const QString& path) {
  const fs::path local(QFile::encodeName(path).toStdString());
  std::error_code ec;
  if (!path.endsWith('/')) {
    auto size = fs::file_size(local, ec);
    return ec ? 0 : size;
  }
  // Symbolic links to folders are not followed, so a link back up the
  // tree cannot loop; unreadable folders are skipped.
  std::uint64_t total = 0;
  for (fs::recursive_directory_iterator it(local, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code sizeError;
    if (!it->is_directory(sizeError) && it->is_regular_file(sizeError)) {
      auto size = it->file_size(sizeError);
      if (!sizeError) total += size;
    }
  }
  return total;
}

QString SizeText(std::uint64_t bytes, SizeStyle style) {
  if (bytes == 0) return {};
  if (style == SizeStyle::Plain) return QString::number(static_cast<qulonglong>(bytes));
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  return locale.toString(static_cast<qulonglong>(bytes));
}
