#pragma once
// What quillon says about itself: the overview of every command with the
// exit codes (`quillon --help`), the help of one command with its options
// and examples (`quillon help COMMAND`, `quillon COMMAND --help`), and the
// usage lines that follow a command-line mistake.

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Exit codes of every command.
enum ExitCode : int {
  kExitDone = 0,
  kExitFailed = 1,  // the job or the drive failed, or the disc cannot take the job
  kExitUsage = 2,   // the command line or an input was wrong; nothing was written
  kExitCancelled = 130,
};

std::string GeneralHelp();
// The help of `command`; nullopt for a command quillon does not have.
std::optional<std::string> CommandHelp(std::string_view command);
// The usage lines of `command` (the general usage for an unknown one).
std::string CommandUsage(std::string_view command);

}  // namespace quillon
