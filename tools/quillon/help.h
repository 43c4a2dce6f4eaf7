#pragma once
// What quillon says about itself: the overview of every command with the
// exit codes (`quillon --help`), the help of one command with its options
// and examples (`quillon help COMMAND`, `quillon COMMAND --help`), and the
// usage lines that follow a command-line mistake.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Exit codes of every command.
enum ExitCode : int {
  kExitDone = 0,
  kExitFailed = 1,  // the job or the drive failed, or the disc cannot take the job
  kExitUsage = 2,   // the command line or an input was wrong; nothing was written
  kExitCancelled = 130,
};

// One command as the help describes it: its name, its usage after
// "quillon " (options in brackets, an option's value and the operands in
// capitals) and its description with options and examples. The manual page
// and the bash completion are generated from these, so a command added to
// the help is documented and completed too.
struct CommandText {
  std::string_view name;
  std::string_view usage;
  std::string_view body;
};
const std::vector<CommandText>& Commands();
// The one-line summary, the exit codes and the examples of `quillon --help`.
std::string_view Summary();
std::string_view ExitCodes();
std::string_view GeneralExamples();
// What --json does, for the overview and the manual page.
std::string_view JsonNote();

std::string GeneralHelp();
// The help of `command`; nullopt for a command quillon does not have.
std::optional<std::string> CommandHelp(std::string_view command);
// The usage lines of `command` (the general usage for an unknown one).
std::string CommandUsage(std::string_view command);

}  // namespace quillon
