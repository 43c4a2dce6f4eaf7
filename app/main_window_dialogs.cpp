// The main window's dialogs: Add and About, and the upgrade notice through
// the upgrade library.

#include <QSettings>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/add_dialog.h"
#include "app/main_window.h"

void TFGUI::actAddExecute() {
  // A new dialog for each opening: the browsing position starts afresh.
  QSettings settings("quillon", "quillonburner");
  TfrmAdd dialog(this, Compilation(), &messages_, settings.value("addFolder").toString());
  dialog.exec();
  settings.setValue("addFolder", dialog.Shown());
}

void TFGUI::actAboutExecute() {
  TdlgAbout dialog(this);
  dialog.exec();
}

void TFGUI::actUpgradeExecute() {
  const UpgradeDll& dll = *upgradeDll_;
  dll.init_dll(0, upgrade::kFirstPage, upgrade::kSecondPage, upgrade::kInstallerPath,
               upgradeBuffer_.data());
  const int choice = dll.ShowUpgradeNotice(upgrade::kNoticeText);
  if (choice == upgrade::kNotAsked || choice == upgrade::kDeclined) {
    dll.free_dll();
    return;
  }
  if (choice != upgrade::kUpgrade) return;
  dll.get_information_fromhtml();
  timUpgrade->start();
  dll.showdialog();
  dll.start_download();
}

void TFGUI::timUpgradeTimer() {
  if (!upgradeDll_->is_done()) return;
  // Off before the close, so a close refused while a job runs is not tried
  // again.
  timUpgrade->stop();
  close();
}
