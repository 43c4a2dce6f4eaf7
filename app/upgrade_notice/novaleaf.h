#pragma once
/* libnovaleaf.so: the upgrade notice the desktop application offers at
   start-up and from its Upgrade command. Seven calls, all made on the
   application's GUI thread while a QApplication exists (otherwise each of
   them does nothing and ShowUpgradeNotice answers 0):

     init_dll                  starts a new upgrade session (ending any
                               earlier one); `reserved` is 0; the two page
                               addresses are placed on the upgrade server the
                               user configured; the installer path only names
                               the file the download is saved as, in the
                               user's download folder; `buffer` (255 bytes,
                               owned by the caller) receives the saved file's
                               path once is_done has answered true
     ShowUpgradeNotice         asks the user; 1: upgrade, 2: declined,
                               0: not asked (the start-up offer the user
                               switched off, or no user interface). The
                               first notice of a process is the start-up
                               offer: the application makes it on its first
                               activation, before the user can reach the
                               Upgrade command, which is always answered
     get_information_fromhtml  starts reading the two pages
     showdialog                shows the session's own window
     start_download            downloads the installer once the pages name
                               one; the file is saved, never run
     is_done                   true once the installer is saved and the user
                               has closed the session's window
     free_dll                  ends the session: stops its transfers, closes
                               its window, removes a partial download

   Settings, per user, in $XDG_CONFIG_HOME/quillon/upgrade.conf:
     [upgrade]
     server=https://downloads.example.org/   (no server: no upgrade offered)
     show-at-startup=true
   QUILLON_UPGRADE_URL, when set, replaces the configured server. */

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

#define NOVALEAF_API __attribute__((visibility("default")))

enum {
  NOVALEAF_BUFFER_SIZE = 255,
  NOVALEAF_NOT_ASKED = 0,
  NOVALEAF_UPGRADE = 1,
  NOVALEAF_DECLINED = 2
};

NOVALEAF_API void init_dll(int reserved, const char* firstPage, const char* secondPage,
                           const char* installerPath, char* buffer);
NOVALEAF_API int ShowUpgradeNotice(const char* text);
NOVALEAF_API void get_information_fromhtml(void);
NOVALEAF_API void showdialog(void);
NOVALEAF_API void start_download(void);
NOVALEAF_API bool is_done(void);
NOVALEAF_API void free_dll(void);

#ifdef __cplusplus
}
#endif
