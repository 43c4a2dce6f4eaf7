#include "platform/aspi/sg/mount_table.h"

#include <sstream>
#include <vector>

namespace wnaspi::sg {
namespace {

// "\040" back to a blank, as the kernel escapes blanks, tabs, newlines and
// backslashes in the table.
std::string Unescape(const std::string& field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

}  // namespace

std::optional<std::string> MountPointOf(const std::string& table, const std::string& node) {
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> field;
    for (std::string item; fields >> item;) field.push_back(item);
    // id, parent, major:minor, root, mount point, options, optional
    // fields up to "-", filesystem type, source.
    std::size_t separator = 6;
    while (separator < field.size() && field[separator] != "-") ++separator;
    if (field.size() < 5 || separator + 2 >= field.size()) continue;
    if (Unescape(field[separator + 2]) == node) return Unescape(field[4]);
  }
  return std::nullopt;
}

}  // namespace wnaspi::sg
