#include "host/verify_report.h"

#include "host/disc_probe.h"

namespace quillon {

bool VerifyReport::Take(const HostNotice& notice) {
  if (notice.kind == HostNotice::Kind::VerifyMismatch) {
    findings_.push_back(notice.name);
    return true;
  }
  if (notice.kind != HostNotice::Kind::VerifyFinished) return false;
  // lFiles, lBlocks, lDiffering, bDirectoryDamaged, bComplete
  const auto& a = notice.args;
  if (a.size() >= 5) {
    files_ = a[0].AsI4();
    blocks_ = static_cast<std::uint64_t>(a[1].AsI4());
    differing_ = a[2].AsI4();
    directoryDamaged_ = a[3].AsBool();
    complete_ = a[4].AsBool();
  }
  finished_ = true;
  return true;
}

std::string VerifyReport::Summary() const {
  const std::string files = std::to_string(files_) + (files_ == 1 ? " file" : " files");
  const std::string read = Megabytes(blocks_);
  if (!finished_) return "The disc was not verified.";
  if (!complete_) return "Verify cancelled after " + read + ": the disc was not compared whole.";
  // A burned image file is compared block for block: it has no files to count.
  const std::string compared = files_ == 0 ? read : files + ", " + read;
  if (findings_.empty()) return "Verified: " + compared + ", identical.";
  std::string what;
  if (differing_ > 0) {
    what = std::to_string(differing_) + (differing_ == 1 ? " file differs" : " files differ") +
           " or cannot be read";
  }
  if (directoryDamaged_) what += std::string(what.empty() ? "" : ", and ") + "the disc's directory is damaged";
  return "Verified: " + compared + ": " + what + ".";
}

}  // namespace quillon
