#include "app/compilation_list.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QPointer>
#include <QThreadPool>

#include <filesystem>

namespace {
namespace fs = std::filesystem;
constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 1;
constexpr int kBlocksRole = Qt::UserRole;
constexpr int kEntriesRole = Qt::UserRole + 1;
constexpr std::uint64_t kBlock = 2048;
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
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
    if (column == kNameColumn) emit SelectionChanged();
  });
  connect(model(), &QAbstractItemModel::rowsRemoved, this, [this] { emit SelectionChanged(); });
  connect(model(), &QAbstractItemModel::modelReset, this, [this] { emit SelectionChanged(); });
}

// The rows the base class removes as it goes raise no SelectionChanged from
// a list that is no longer whole.
CompilationList::~CompilationList() { disconnect(model(), nullptr, this, nullptr); }

bool CompilationList::IsInCompilation(const QString& caption) const {
  for (int row = 0; row < topLevelItemCount(); ++row) {
    if (topLevelItem(row)->text(kNameColumn) == caption) return true;
  }
  return false;
}

void CompilationList::AddPaths(const QStringList& paths) {
  QStringList captions;
  setUpdatesEnabled(false);
  {
    QSignalBlocker quiet(this);
    for (const QString& path : paths) {
      QString caption = path;
      if (QFileInfo(path).isDir() && !caption.endsWith('/')) caption += '/';
      if (IsInCompilation(caption)) continue;
      auto* item = new QTreeWidgetItem(this);
      item->setText(kNameColumn, caption);
      item->setText(kSizeColumn, "...");
      item->setTextAlignment(kSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
      item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
      item->setCheckState(kNameColumn, Qt::Checked);
      captions.append(caption);
    }
  }
  setUpdatesEnabled(true);
  if (captions.isEmpty()) return;
  emit SelectionChanged();
  // A folder may hold many thousands of files: they are counted off the GUI
  // thread, and each count is filled in on it, found by caption (the row
  // may have gone meanwhile).
  sizing_ += static_cast<int>(captions.size());
  QPointer<CompilationList> list(this);
  QThreadPool::globalInstance()->start([list, captions] {
    for (const QString& caption : captions) {
      const PathSize size = GetPathSize(caption);
      QMetaObject::invokeMethod(qApp, [list, caption, size] {
        if (!list) return;
        --list->sizing_;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
          QTreeWidgetItem* item = list->topLevelItem(row);
          if (item->text(kNameColumn) != caption) continue;
          QSignalBlocker quiet(list.data());
          item->setText(kSizeColumn, SizeText(size.bytes));
          item->setData(kSizeColumn, kBlocksRole, QVariant::fromValue<qulonglong>(size.blocks));
          item->setData(kSizeColumn, kEntriesRole, QVariant::fromValue<qulonglong>(size.entries));
        }
        emit list->SelectionChanged();
      });
    }
  });
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

CompilationList::Selection CompilationList::CheckedSelection() const {
  Selection selection;
  for (int row = 0; row < topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = topLevelItem(row);
    if (item->checkState(kNameColumn) != Qt::Checked) continue;
    ++selection.rows;
    selection.blocks += item->data(kSizeColumn, kBlocksRole).toULongLong();
    selection.entries += item->data(kSizeColumn, kEntriesRole).toULongLong();
  }
  return selection;
}

PathSize GetPathSize(const QString& path) {
  const fs::path local(QFile::encodeName(path).toStdString());
  std::error_code ec;
  PathSize size;
  const auto addFile = [&size](std::uint64_t bytes) {
    size.bytes += bytes;
    size.blocks += (bytes + kBlock - 1) / kBlock;
    ++size.entries;
  };
  if (!path.endsWith('/')) {
    auto bytes = fs::file_size(local, ec);
    if (!ec) addFile(bytes);
    return size;
  }
  // Symbolic links to folders are not followed, so a link back up the
  // tree cannot loop; unreadable folders are skipped.
  for (fs::recursive_directory_iterator it(local, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code sizeError;
    if (it->is_directory(sizeError)) {
      ++size.entries;
    } else if (it->is_regular_file(sizeError)) {
      auto bytes = it->file_size(sizeError);
      if (!sizeError) addFile(bytes);
    }
  }
  return size;
}

QString SizeText(std::uint64_t bytes) {
  if (bytes == 0) return {};
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  return locale.toString(static_cast<qulonglong>(bytes));
}
