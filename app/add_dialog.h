#pragma once
// The add-files dialog: a browser of the computer's folders and files (the
// location box, the folder tree and the file list, linked, all read-only)
// whose Add puts the selected items straight into the main window's
// compilation.
// Created afresh for each opening and shown modally; "OK", Escape and the
// close box only hide it.

#include <QDialog>
#include <QFileIconProvider>

class CompilationList;
class LocationBox;
class MessageService;
class QAction;
class QFileSystemModel;
class QListView;
class QMenu;
class QTreeView;

class TfrmAdd final : public QDialog {
 public:
  // Opens on `start` (the home folder when that is no folder); `messages`
  // says when Add finds nothing selected.
  TfrmAdd(QWidget* owner, CompilationList& compilation, MessageService* messages = nullptr,
          const QString& start = {});
  // The folder on view.
  const QString& Shown() const { return shown_; }

  // Shows the folder's contents in the list, and the folder in the tree and
  // the location box; "" is the computer. False when `path` is no folder.
  bool ShowFolder(const QString& path);

  LocationBox* ShellComboBox1;
  QTreeView* tvwDir;
  QListView* lvwFiles;
  QAction* actSelectAll;
  QAction* actUnselect;
  QAction* actSelInv;
  QAction* actAdd;
  QMenu* PopupMenu1;

 private:
  QWidget* MakeLocationStrip();
  QWidget* MakeBrowser();
  QWidget* MakeButtonPanel();
  void MakeActions();

  void actAddExecute();
  void actSelectAllExecute();
  void actUnselectExecute();
  void actSelInvExecute();
  void btnOKClick();
  void tvwDirChange();
  void ShowPopupMenu(QWidget* view, const QPoint& position);

  CompilationList& compilation_;
  MessageService* messages_;
  QFileIconProvider icons_;  // the style's icons, also without an icon theme
  QFileSystemModel* folders_;
  QFileSystemModel* files_;
  QString shown_;
  bool treeFollowsFolder_ = true;
};
