#pragma once
// The scriptable burner commands of quillon: writers, info, burn, erase,
// format, close and eject. They host the control exactly as the desktop
// application does and use its texts; what the control does not say (why a
// writer is not ready, the medium, the free space) they ask the writer
// through the ASPI layer (disc_probe.h).

#include <string>

#include "tools/quillon/options.h"

namespace quillon {

// Runs one command; returns the process exit code (help.h).
int RunBurnerCommand(const std::string& command, const BurnerOptions& options);

// The two five-line reports of the information commands.
struct WriterFacts {
  bool cdrWrite, cdrwWrite, multiSession, readDvd;
  long maxWriteSpeed;
};
struct DiscFacts {
  bool blank, closed, erasable;
  long maxReadSpeed, maxWriteSpeed;
};
std::string BurnerReport(const WriterFacts& facts);
std::string DiscReport(const DiscFacts& facts);

}  // namespace quillon
