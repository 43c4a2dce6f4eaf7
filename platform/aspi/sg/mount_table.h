#pragma once
// Where a device's filesystem is mounted, read from a mount table in the
// format of /proc/self/mountinfo: a line per mount, the mount point in its
// fifth field, and the mounted device after the " - " separator and the
// filesystem type. Blanks and backslashes in paths are written as octal
// escapes (\040).

#include <optional>
#include <string>

namespace wnaspi::sg {

// The first mount point of `node` ("/dev/sr0") in `table`; nothing when the
// device is not mounted.
std::optional<std::string> MountPointOf(const std::string& table, const std::string& node);

}  // namespace wnaspi::sg
