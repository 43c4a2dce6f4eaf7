#pragma once
#include <istream>
#include <ostream>

namespace quillon {

// Reads commands from `in` until its end and prints one line per command,
// plus a line per event, engine failure text and message box. Returns the
// process exit code.
int RunShell(std::istream& in, std::ostream& out);

}  // namespace quillon
