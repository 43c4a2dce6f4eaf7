#pragma once
// The compilation list lsvCD: one checked row per file or folder to burn.
// A row's caption is the full source path, a folder's ending in "/"; its
// size is counted off the GUI thread once it is added, and written with the
// locale's digit groups. Rows are unique by exact caption and keep the
// order in which they were added.

#include <QStringList>
#include <QTreeWidget>

#include <cstdint>

class CompilationList final : public QTreeWidget {
  Q_OBJECT

 public:
  struct Entry {
    QString caption;
    bool checked;
  };

  explicit CompilationList(QWidget* parent = nullptr);
  ~CompilationList() override;

  bool IsInCompilation(const QString& caption) const;
  // Adds paths as the shell drops them: each whole, a folder's caption
  // ending in "/", one already in the list skipped, every new row checked.
  // The rows come at once; their sizes follow (SizesChanged).
  void AddPaths(const QStringList& paths);
  // Removes the selected rows; the others keep their order and state.
  void DeleteSelected();
  QList<Entry> Entries() const;
  int Count() const { return topLevelItemCount(); }
  // Whether every row's size has been counted.
  bool Sized() const { return sizing_ == 0; }
  // The checked rows' file data, in blocks of 2048 bytes, and how many files
  // and folders they hold (a folder's own entries, not the folder).
  struct Selection {
    int rows = 0;  // checked
    std::uint64_t blocks = 0;
    std::uint64_t entries = 0;
  };
  Selection CheckedSelection() const;

 signals:
  // A size was counted, or a row was checked, unchecked, added or removed.
  void SelectionChanged();

 private:
  int sizing_ = 0;  // rows whose size is still being counted
};

// What lies under `path`: a folder's (caption ending in "/") files summed
// over its whole tree, or a file; zeros when nothing is there.
struct PathSize {
  std::uint64_t bytes = 0;
  std::uint64_t blocks = 0;   // each file rounded up to 2048 bytes
  std::uint64_t entries = 0;  // files and folders
};
PathSize GetPathSize(const QString& path);
// The size column's text: digits grouped in threes with the locale's
// separator, empty for 0.
QString SizeText(std::uint64_t bytes);
