#pragma once
// What a read-back of the disc found, as the hosts say it: gathered from the
// control's VerifyMismatch and VerifyFinished diagnostics.

#include <cstdint>
#include <string>
#include <vector>

#include "host/control_host.h"

namespace quillon {

class VerifyReport {
 public:
  // Takes a notice; true when it was one of the read-back's.
  bool Take(const HostNotice& notice);
  // VerifyFinished has arrived.
  bool finished() const { return finished_; }
  // Every block was read and compared.
  bool complete() const { return complete_; }
  bool identical() const { return finished_ && complete_ && findings_.empty(); }
  // What differs or cannot be read, one sentence each (a file, or the
  // disc's directory).
  const std::vector<std::string>& findings() const { return findings_; }
  // "Verified: N files, M MB, identical." or what was found in one line.
  std::string Summary() const;

 private:
  std::vector<std::string> findings_;
  bool finished_ = false;
  bool complete_ = false;
  bool directoryDamaged_ = false;
  long files_ = 0;
  long differing_ = 0;
  std::uint64_t blocks_ = 0;
};

}  // namespace quillon
