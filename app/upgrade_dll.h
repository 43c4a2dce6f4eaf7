#pragma once
// The upgrade library as the main window calls it: its seven entry points,
// those of libnovaleaf.so (linked at load time) unless a test stands a
// double in, and the values the application passes.

#include "app/upgrade_notice/novaleaf.h"

struct UpgradeDll {
  void (*init_dll)(int reserved, const char* firstPage, const char* secondPage,
                   const char* installerPath, char* buffer);
  int (*ShowUpgradeNotice)(const char* text);
  void (*get_information_fromhtml)();
  void (*showdialog)();
  void (*start_download)();
  bool (*is_done)();
  void (*free_dll)();
};

// libnovaleaf.so's own entry points.
const UpgradeDll& LinkedUpgradeDll();

namespace upgrade {

// The pages' addresses on the upgrade server, which the library places on
// the server the user configured.
constexpr const char* kFirstPage = "/home/download/emberly.html";
constexpr const char* kSecondPage = "/home/download/quillonburner-pro.html";
// Names the installer's file; the library saves it in the download folder.
constexpr const char* kInstallerPath = "c:/emberlysetup.exe";
constexpr const char* kNoticeText =
    "\n\nHello! Quillon CD & DVD Burner Pro is here: the same burner, with more ways to "
    "make your discs. Would you like to upgrade now?";
constexpr int kUpgrade = NOVALEAF_UPGRADE;
constexpr int kNotAsked = NOVALEAF_NOT_ASKED;
constexpr int kDeclined = NOVALEAF_DECLINED;
constexpr int kBufferSize = NOVALEAF_BUFFER_SIZE;
constexpr int kPollMilliseconds = 1000;

}  // namespace upgrade
