#include <cmath>
#include <cstdio>

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

std::string Megabytes(std::uint64_t blocks, bool roundUp) {
  const double megabytes = static_cast<double>(blocks) * 2048 / (1024 * 1024);
  const double scale = megabytes < 10 && blocks > 0 ? 10 : 1;
  const double value = (roundUp ? std::ceil(megabytes * scale) : std::floor(megabytes * scale)) / scale;
  char text[32];
  std::snprintf(text, sizeof text, scale > 1 ? "%.1f MB" : "%.0f MB", value);
  return text;
}

}  // namespace quillon
