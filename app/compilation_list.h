#pragma once
// The compilation list lsvCD: one checked row per file or folder to burn.
// A row's caption is the full source path, a folder's ending in "/"; its
// size text is formatted once, when it is added. Rows are unique by exact
// caption and keep the order in which they were added.

#include <QStringList>
#include <QTreeWidget>

#include <cstdint>

// How a new row's size is written, empty for 0 either way: digits grouped in
// threes with the locale's separator for dropped paths, plain digits for
// those added from the add-files dialog.
enum class SizeStyle { Grouped, Plain };

class CompilationList final : public QTreeWidget {
  Q_OBJECT

 public:
  struct Entry {
    QString caption;
    bool checked;
  };

  explicit CompilationList(QWidget* parent = nullptr);

  bool IsInCompilation(const QString& caption) const;
  // Adds paths as the shell drops them: each whole, a folder's caption
  // ending in "/", one already in the list skipped, every new row checked.
  void AddPaths(const QStringList& paths, SizeStyle style = SizeStyle::Grouped);
  // Removes the selected rows; the others keep their order and state.
  void DeleteSelected();
  QList<Entry> Entries() const;
  int Count() const { return topLevelItemCount(); }
};

// Bytes under `path`: a folder's (caption ending in "/") files summed over
// its whole tree, a file's size, 0 when nothing is there.
std::uint64_t GetPathSize(const QString& path);
// The size column's text in the given style.
QString SizeText(std::uint64_t bytes, SizeStyle style = SizeStyle::Grouped);
