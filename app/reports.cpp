#include "app/reports.h"

#include <QStringList>

namespace {
QString YesNo(bool value) { return value ? "Yes" : "No"; }
}  // namespace

QString BurnerReport(const BurnerFacts& f) {
  return QStringList{"CD-R Writer Support = " + YesNo(f.cdrWrite), "CD-RW Writer Support = " + YesNo(f.cdrwWrite),
                     "Multisessions Support = " + YesNo(f.multiSession),
                     "Disc Max Write Speed:" + QString::number(f.maxWriteSpeed),
                     "Read DVD Support = " + YesNo(f.readDvd)}
      .join("\r\n");
}

QString DiscReport(const DiscFacts& f) {
  return QStringList{"Disc Blank = " + YesNo(f.blank), "Disc Closed = " + YesNo(f.closed),
                     "Disc Erasable = " + YesNo(f.erasable),
                     "Disk Max Read Speed: " + QString::number(f.maxReadSpeed),
                     "Disk Max Write Speed: " + QString::number(f.maxWriteSpeed)}
      .join("\r\n");
}
