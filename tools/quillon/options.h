#pragma once
// The options of the burner commands. Each command takes only its own
// options; `--name=value` and `--name value` both work, `--` ends the
// options of `burn`.

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
  bool noFormat = false;
  bool skipUnreadable = false;
  bool keepLinks = false;
  std::vector<std::string> paths;
};

// Parses the arguments after the command name; on a mistake returns false
// and sets `error` to a text that names the argument.
bool ParseBurnerOptions(const std::string& command, const std::vector<std::string>& args,
                        BurnerOptions& options, std::string& error);

// Whether the arguments ask for the command's help (--help or -h before `--`).
bool AsksForHelp(const std::vector<std::string>& args);

}  // namespace quillon
