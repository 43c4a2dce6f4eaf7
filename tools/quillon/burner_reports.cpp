#include <stdexcept>

#include "tools/quillon/burner.h"

namespace quillon {
namespace {
const char* YesNo(bool value) { return value ? "Yes" : "No"; }
}  // namespace

std::string BurnerReport(const WriterFacts& f) {
  return std::string("CD-R Writer Support = ") + YesNo(f.cdrWrite) + "\n" +
         "CD-RW Writer Support = " + YesNo(f.cdrwWrite) + "\n" +
         "Multisessions Support = " + YesNo(f.multiSession) + "\n" +
         "Disc Max Write Speed:" + std::to_string(f.maxWriteSpeed) + "\n" +
         "Read DVD Support = " + YesNo(f.readDvd) + "\n";
}

std::string DiscReport(const DiscFacts& f) {
  return std::string("Disc Blank = ") + YesNo(f.blank) + "\n" +
         "Disc Closed = " + YesNo(f.closed) + "\n" +
         "Disc Erasable = " + YesNo(f.erasable) + "\n" +
         "Disk Max Read Speed: " + std::to_string(f.maxReadSpeed) + "\n" +
         "Disk Max Write Speed: " + std::to_string(f.maxWriteSpeed) + "\n";
}

bool ParseBurnerOptions(const std::string& command, const std::vector<std::string>& args, BurnerOptions& options,
                        std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string text;
    if (a == "--writer") {
      if (!value(text)) return false;
      try {
        std::size_t used = 0;
        options.writer = std::stoi(text, &used);
        if (used != text.size() || options.writer < 0) throw std::invalid_argument(text);
      } catch (...) {
        error = "--writer takes a writer number from 0";
        return false;
      }
    } else if (a == "--label" && command == "burn") {
      if (!value(options.label)) return false;
    } else if (a == "--dvd" && command == "burn") {
      options.dvd = true;
    } else if (a == "--multi" && command == "burn") {
      options.multi = true;
    } else if (a == "--eject" && command == "burn") {
      options.eject = true;
    } else if (a == "--full" && command == "erase") {
      options.full = true;
    } else if (command == "burn" && (!a.starts_with("--") || a == "--")) {
      if (a != "--") options.paths.push_back(a);
      if (a == "--") options.paths.insert(options.paths.end(), args.begin() + i + 1, args.end());
      if (a == "--") break;
    } else {
      error = "unknown option for " + command + ": " + a;
      return false;
    }
  }
  return true;
}

}  // namespace quillon
