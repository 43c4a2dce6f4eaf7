#pragma once
// The shell's line syntax:
//   Member                 read a property, or call a method without arguments
//   Member arg ...         call a method with arguments
//   Member = value         set a property
//   wait Event [seconds]   run the message loop until the event arrives
//   pump [ms]              run the message loop for a while
// Values: "text" with backslash escapes, true/false, decimal integers.

#include <optional>
#include <string>
#include <vector>

#include "platform/automation/variant.h"

namespace quillon {

struct ShellCommand {
  enum class Kind { Empty, Member, Put, Wait, Pump } kind = Kind::Empty;
  std::string name;                      // member or event name
  std::vector<platform::Variant> args;   // arguments, or the value of a put
  double seconds = 0;                    // wait / pump duration
};

// Parses one line; on a syntax error returns nullopt and sets `error`.
std::optional<ShellCommand> ParseShellLine(const std::string& line, std::string& error);

// How the shell prints a value: strings quoted with escapes, booleans as
// true/false, integers in decimal.
std::string FormatValue(const platform::Variant& value);

}  // namespace quillon
