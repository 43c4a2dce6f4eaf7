#include "tools/quillon/burner.h"

namespace quillon {
namespace {
const char* YesNo(bool value) { return value ? "Yes" : "No"; }
}  // namespace

std::string BurnerReport(const WriterFacts& f) {
  return std::string("CD-R Writer Support = ") + YesNo(f.cdrWrite) + "\n" +
         "CD-RW Writer Support = " + YesNo(f.cdrwWrite) + "\n" +
         "Multisessions Support = " + YesNo(f.multiSession) + "\n" +
         "Disc Max Write Speed:" + std::to_string(f.maxWriteSpeed) + "\n" +
         "Read DVD Support = " + YesNo(f.readDvd) + "\n";
}

std::string DiscReport(const DiscFacts& f) {
  return std::string("Disc Blank = ") + YesNo(f.blank) + "\n" +
         "Disc Closed = " + YesNo(f.closed) + "\n" +
         "Disc Erasable = " + YesNo(f.erasable) + "\n" +
         "Disk Max Read Speed: " + std::to_string(f.maxReadSpeed) + "\n" +
         "Disk Max Write Speed: " + std::to_string(f.maxWriteSpeed) + "\n";
}

}  // namespace quillon
