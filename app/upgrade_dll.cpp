#include "app/upgrade_dll.h"

const UpgradeDll& LinkedUpgradeDll() {
  // Taking the entry points' addresses makes the program depend on the
  // library at load time.
  static const UpgradeDll linked{&init_dll,      &ShowUpgradeNotice, &get_information_fromhtml,
                                 &showdialog,    &start_download,    &is_done,
                                 &free_dll};
  return linked;
}
