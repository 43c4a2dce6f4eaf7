#pragma once
// The scriptable burner commands of quillon: writers, info, burn, erase,
// format and eject. They host the control exactly as the desktop
// application does and use its texts.

#include <string>
#include <vector>

namespace quillon {

struct BurnerOptions {
  int writer = 0;
  std::string label = "NEW";
  bool dvd = false;
  bool multi = false;
  bool full = false;
  bool eject = false;
  std::vector<std::string> paths;
};

// Parses the options after the command name; on error returns false and
// sets `error`.
bool ParseBurnerOptions(const std::string& command, const std::vector<std::string>& args, BurnerOptions& options,
                        std::string& error);

// Runs one command; returns the process exit code.
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
