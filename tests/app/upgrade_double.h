#pragma once
// A recording double of the upgrade library for the window's tests: each
// call is written down in order, and the test sets what the notice answers
// and what is_done says. Its state is the process's, as the library's is.

#include <QString>
#include <QStringList>
#include <functional>

#include "app/upgrade_dll.h"

namespace upgrade_double {

inline QStringList calls;
inline int choice = upgrade::kDeclined;
inline bool done = false;
// Written after "showdialog", to see what the window had done by then.
inline std::function<QString()> atShowDialog = [] { return QString(); };

inline void Reset() {
  calls.clear();
  choice = upgrade::kDeclined;
  done = false;
  atShowDialog = [] { return QString(); };
}

inline const UpgradeDll kRecording{
    [](int reserved, const char* first, const char* second, const char* installer, char* buffer) {
      calls << QString("init_dll %1 %2 %3 %4 %5")
                   .arg(reserved)
                   .arg(first, second, installer, buffer ? "buffer" : "null");
    },
    [](const char* text) {
      calls << "ShowUpgradeNotice " + QString(text).left(2).toUtf8().toPercentEncoding();
      return choice;
    },
    [] { calls << "get_information_fromhtml"; },
    [] { calls << ("showdialog" + atShowDialog()); },
    [] { calls << "start_download"; },
    [] { return done; },
    [] { calls << "free_dll"; },
};

}  // namespace upgrade_double
