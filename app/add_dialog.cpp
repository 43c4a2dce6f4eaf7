#include "app/add_dialog.h"

#include <QAction>
#include <QDir>
#include <QFileSystemModel>
#include <QFrame>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/compilation_list.h"
#include "app/dialog_frame.h"
#include "app/location_box.h"
#include "app/message_service.h"

namespace {

constexpr QSize kClientSize(542, 333);
constexpr QColor kLightGreen(192, 220, 192);
constexpr int kLocationStripHeight = 23;
constexpr int kTreeWidth = 200;
constexpr int kTreeIndent = 19;
constexpr int kIconSize = 16;
constexpr int kButtonPanelHeight = 48;
constexpr int kButtonTop = 10;
constexpr QSize kButtonSize(89, 25);
constexpr QSize kOkButtonSize(75, 25);

QPushButton* PanelButton(QWidget* panel, const QString& caption, int left, QSize size) {
  auto* button = new QPushButton(caption, panel);
  button->setGeometry(QRect(QPoint(left, kButtonTop), size));
  // A click leaves the focus where it was, so Add still sees the file list.
  button->setFocusPolicy(Qt::TabFocus);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TfrmAdd::TfrmAdd(QWidget* owner, CompilationList& compilation, MessageService* messages, const QString& start)
    : QDialog(owner, kFixedDialog), compilation_(compilation), messages_(messages) {
  setWindowTitle("Add");
  SetFixedDialogFrame(*this, kClientSize);
  QPalette green = palette();
  green.setColor(QPalette::Window, kLightGreen);
  setPalette(green);
  setAutoFillBackground(true);

  MakeActions();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(MakeLocationStrip());
  layout->addWidget(MakeBrowser(), 1);
  layout->addWidget(MakeButtonPanel());
  if (start.isEmpty() || !ShowFolder(start)) ShowFolder(QDir::homePath());
  lvwFiles->setFocus();
}

void TfrmAdd::MakeActions() {
  const auto action = [this](const QString& caption, const QKeySequence& shortcut, auto execute) {
    auto* made = new QAction(caption, this);
    made->setShortcut(shortcut);
    connect(made, &QAction::triggered, this, execute);
    addAction(made);
    return made;
  };
  actSelectAll = action("Select All", QKeySequence("Ctrl+A"), [this] { actSelectAllExecute(); });
  actUnselect = action("Unselect", QKeySequence("Ctrl+U"), [this] { actUnselectExecute(); });
  actSelInv = action("Select Inverse", QKeySequence("Ctrl+I"), [this] { actSelInvExecute(); });
  actAdd = action("Add", QKeySequence("Ctrl+D"), [this] { actAddExecute(); });
  PopupMenu1 = new QMenu(this);
  PopupMenu1->addActions({actSelectAll, actUnselect, actSelInv});
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(actAdd);
}

QWidget* TfrmAdd::MakeLocationStrip() {
  auto* Panel2 = new QWidget;
  Panel2->setFixedHeight(kLocationStripHeight);
  ShellComboBox1 = new LocationBox(Panel2, [this](const QString& path) { return ShowFolder(path); });
  auto* layout = new QVBoxLayout(Panel2);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(ShellComboBox1);
  return Panel2;
}

QWidget* TfrmAdd::MakeBrowser() {
  folders_ = new QFileSystemModel(this);
  folders_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  folders_->setOption(QFileSystemModel::DontWatchForChanges);
  folders_->setIconProvider(&icons_);
  folders_->setRootPath(QString());
  tvwDir = new QTreeView;
  tvwDir->setModel(folders_);
  for (int column = 1; column < folders_->columnCount(); ++column) tvwDir->hideColumn(column);
  tvwDir->header()->hide();
  tvwDir->setIndentation(kTreeIndent);
  tvwDir->setRootIsDecorated(false);
  tvwDir->expand(folders_->index("/"));
  tvwDir->setIconSize(QSize(kIconSize, kIconSize));
  tvwDir->setContextMenuPolicy(Qt::CustomContextMenu);
  // The folders load and sort in the background: keep the one on view in
  // sight as its parents arrive, until the user moves the tree.
  const auto keepInSight = [this] {
    if (!treeFollowsFolder_) return;
    QTimer::singleShot(0, this, [this] {
      if (treeFollowsFolder_) tvwDir->scrollTo(tvwDir->currentIndex(), QAbstractItemView::PositionAtCenter);
    });
  };
  connect(folders_, &QFileSystemModel::directoryLoaded, this, keepInSight);
  connect(folders_, &QFileSystemModel::layoutChanged, this, keepInSight);
  connect(tvwDir, &QTreeView::pressed, this, [this] { treeFollowsFolder_ = false; });
  connect(tvwDir->verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this] { treeFollowsFolder_ = false; });
  connect(tvwDir->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { tvwDirChange(); });
  connect(tvwDir, &QTreeView::doubleClicked, this, [this] { actAdd->trigger(); });
  connect(tvwDir, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowPopupMenu(tvwDir, at); });

  files_ = new QFileSystemModel(this);
  files_->setFilter(QDir::AllEntries | QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  // A burner never changes the user's files: no renaming, moving or deleting here.
  files_->setReadOnly(true);
  files_->setIconProvider(&icons_);
  files_->sort(0);
  lvwFiles = new QListView;
  lvwFiles->setModel(files_);
  lvwFiles->setViewMode(QListView::ListMode);
  lvwFiles->setFlow(QListView::TopToBottom);
  lvwFiles->setWrapping(true);
  lvwFiles->setResizeMode(QListView::Adjust);
  lvwFiles->setIconSize(QSize(kIconSize, kIconSize));
  lvwFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvwFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvwFiles->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lvwFiles, &QListView::doubleClicked, this, [this] { actAdd->trigger(); });
  connect(lvwFiles, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowPopupMenu(lvwFiles, at); });

  auto* splitter = new QSplitter;
  splitter->addWidget(tvwDir);
  splitter->addWidget(lvwFiles);
  splitter->setChildrenCollapsible(false);
  splitter->setSizes({kTreeWidth, kClientSize.width() - kTreeWidth});
  splitter->setStretchFactor(1, 1);
  return splitter;
}

QWidget* TfrmAdd::MakeButtonPanel() {
  auto* Panel1 = new QFrame;
  Panel1->setFixedHeight(kButtonPanelHeight);
  Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
  const struct {
    QAction* action;
    int left;
  } buttons[] = {{actSelectAll, 16}, {actUnselect, 123}, {actSelInv, 231}, {actAdd, 339}};
  for (const auto& [action, left] : buttons) {
    QPushButton* button = PanelButton(Panel1, action->text(), left, kButtonSize);
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::enabledChanged, button, &QPushButton::setEnabled);
  }
  QPushButton* ok = PanelButton(Panel1, "OK", 447, kOkButtonSize);
  connect(ok, &QPushButton::clicked, this, [this] { btnOKClick(); });
  return Panel1;
}

bool TfrmAdd::ShowFolder(const QString& path) {
  if (!path.isEmpty() && !QFileInfo(path).isDir()) return false;
  shown_ = path;
  files_->setRootPath(path);
  lvwFiles->setRootIndex(files_->index(path));
  const QModelIndex folder = folders_->index(path);
  if (tvwDir->currentIndex() != folder) {
    tvwDir->setCurrentIndex(folder);
    tvwDir->scrollTo(folder);
  }
  ShellComboBox1->ShowLocation(path);
  return true;
}

void TfrmAdd::tvwDirChange() {
  const QString path = folders_->filePath(tvwDir->currentIndex());
  if (path != shown_) ShowFolder(path);
}

void TfrmAdd::ShowPopupMenu(QWidget* view, const QPoint& position) {
  if (view == tvwDir) {
    // A right click selects the folder under the mouse first.
    const QModelIndex clicked = tvwDir->indexAt(position);
    if (clicked.isValid()) tvwDir->setCurrentIndex(clicked);
  }
  PopupMenu1->popup(view->mapToGlobal(position));
}

void TfrmAdd::actAddExecute() {
  // What is selected in the file list, wherever the focus is; without such
  // a selection, the folder chosen in the tree while the tree has the focus.
  QModelIndexList selected = lvwFiles->selectionModel()->selectedIndexes();
  std::sort(selected.begin(), selected.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QStringList paths;
  for (const QModelIndex& item : selected) {
    paths << files_->filePath(item);
    lvwFiles->selectionModel()->select(item, QItemSelectionModel::Deselect);
  }
  if (paths.isEmpty() && focusWidget() == tvwDir && !shown_.isEmpty()) paths << shown_;
  if (paths.isEmpty()) {
    if (messages_) {
      messages_->Show("Nothing is selected: select files or folders in the list on the right (or a folder in the "
                      "tree on the left), then press Add.");
    }
    return;
  }
  compilation_.AddPaths(paths);
}

void TfrmAdd::actSelectAllExecute() { lvwFiles->selectAll(); }

void TfrmAdd::actUnselectExecute() { lvwFiles->clearSelection(); }

void TfrmAdd::actSelInvExecute() {
  const QModelIndex root = lvwFiles->rootIndex();
  const int rows = files_->rowCount(root);
  if (rows == 0) return;
  const QItemSelection all(files_->index(0, 0, root), files_->index(rows - 1, 0, root));
  lvwFiles->selectionModel()->select(all, QItemSelectionModel::Toggle);
}

void TfrmAdd::btnOKClick() { close(); }
