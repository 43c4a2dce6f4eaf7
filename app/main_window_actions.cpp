// The actions of alMain, the menus and context menu built from them, the
// notification-area icon, and the commands whose dialogs the add-files
// dialog, the about box and the upgrade notice bring.

#include <QActionGroup>
#include <QApplication>
#include <QMenuBar>
#include <QSystemTrayIcon>

#include "app/main_window.h"

QAction* TFGUI::MakeAction(const QString& caption, void (TFGUI::*handler)(), QKeySequence shortcut) {
  auto* action = new QAction(caption, this);
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  // Shortcuts work while menus or panels are hidden (small window).
  addAction(action);
  return action;
}

void TFGUI::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const ScrivoCallError& error) {
    // A failed call into the control ends the command where it stands.
    qWarning("quillonburner: %s", error.what());
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  }
}

void TFGUI::CreateActions() {
  actNew = MakeAction("New", &TFGUI::actNewExecute);
  actAdd = MakeAction("Add", &TFGUI::actAddExecute, QKeySequence(Qt::CTRL | Qt::Key_D));
  actDelete = MakeAction("Delete", &TFGUI::actDeleteExecute);
  actExit = MakeAction("&Exit", &TFGUI::actExitExecute, QKeySequence(Qt::ALT | Qt::Key_X));
  actBurn = MakeAction("Start Burn", &TFGUI::actBurnExecute);
  actAbort = MakeAction("Cancel Burn", &TFGUI::actAbortExecute);
  actErase = MakeAction("Erase", &TFGUI::actEraseExecute);
  actCloseSession = MakeAction("Close Session", &TFGUI::actCloseSessionExecute);
  actSaveImage = MakeAction("Save as &Image...", &TFGUI::actSaveImageExecute);
  actBurnImage = MakeAction("&Burn Image...", &TFGUI::actBurnImageExecute);
  actFormat = MakeAction("Format DVD+RW", &TFGUI::actFormatExecute);
  actEject = MakeAction("Eject", &TFGUI::actEjectExecute);
  actBurnerInfo = MakeAction("Get Burner Info.", &TFGUI::actBurnerInfoExecute);
  actDiskInfo = MakeAction("Get Disk Info.", &TFGUI::actDiskInfoExecute);
  actWindows = MakeAction("Small Window", &TFGUI::actWindowsExecute, QKeySequence(Qt::Key_F12));
  actUpgrade = MakeAction("Upgrade", &TFGUI::actUpgradeExecute);
  actAbout = MakeAction("About", &TFGUI::actAboutExecute);
  actBurn->setEnabled(false);
  actAbort->setEnabled(false);
  actErase->setEnabled(false);
}

void TFGUI::CreateMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addActions({actNew, actAdd});
  file->addSeparator();
  file->addAction(actDelete);
  file->addSeparator();
  file->addActions({actSaveImage, actBurnImage});
  file->addSeparator();
  file->addAction(actExit);

  QMenu* drive = menuBar()->addMenu("&Drive");
  drive->addActions({actBurn, actAbort});
  drive->addSeparator();
  drive->addActions({actErase, actFormat, actCloseSession});
  drive->addSeparator();
  drive->addAction(actEject);

  QMenu* tools = menuBar()->addMenu("&Tools");
  tools->addActions({actBurnerInfo, actDiskInfo});
  tools->addSeparator();
  // The speed a DVD burn asks the drive for (best effort: the drive may
  // take the nearest it offers).
  QMenu* speed = tools->addMenu("DVD Write &Speed");
  speed->setObjectName("mnuDvdSpeed");
  auto* speeds = new QActionGroup(speed);
  for (int factor : {0, 2, 4, 8, 16}) {
    QAction* item = speed->addAction(factor == 0 ? QString("&Fastest") : QString("%1x").arg(factor));
    item->setCheckable(true);
    item->setChecked(factor == 0);
    speeds->addAction(item);
    connect(item, &QAction::triggered, this, [this, factor] { dvdSpeed_ = static_cast<std::int16_t>(factor); });
  }
  tools->addSeparator();
  tools->addAction(actWindows);
  tools->addSeparator();
  tools->addAction(actUpgrade);

  // The Help menu's item runs actAbout under a caption of its own.
  QMenu* help = menuBar()->addMenu("&Help");
  QAction* aboutItem = help->addAction("About Quillon CD/DVD Burner");
  connect(aboutItem, &QAction::triggered, actAbout, &QAction::trigger);
  connect(actAbout, &QAction::changed, aboutItem, [this, aboutItem] { aboutItem->setEnabled(actAbout->isEnabled()); });

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  PopupMenu1->addActions({actNew, actAdd});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({actBurnerInfo, actDiskInfo});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({actEject, actBurn, actErase});
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(actWindows);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(actExit);
}

void TFGUI::AddTrayIcon() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  trayIcon_ = new QSystemTrayIcon(windowIcon(), this);
  trayIcon_->setToolTip("Vantor CD/DVD Burner");
  // A double click or a right click shows the context menu; the icon
  // neither hides nor restores the window.
  connect(trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Context) PopupMenu1->popup(QCursor::pos());
  });
  trayIcon_->show();
}
