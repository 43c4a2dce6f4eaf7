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
  std::string output;  // image: the image file
  bool verify = true;  // burn: read the session back and compare it
  int speed = 0;  // speed factor; 0: the fastest the drive offers
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
