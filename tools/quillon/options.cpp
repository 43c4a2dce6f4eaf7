#include "tools/quillon/options.h"

#include <array>
#include <charconv>
#include <string_view>

namespace quillon {
namespace {

struct OptionSpec {
  std::string_view name;
  std::string_view commands;  // the commands that take it, separated by spaces
  bool takesValue;
};

constexpr std::array<OptionSpec, 12> kOptions{{
    {"--writer", " info burn verify erase format close eject burn-image ", true},
    {"--label", " burn verify image ", true},
    {"--dvd", " burn image ", false},
    {"--output", " image ", true},
    {"--multi", " burn ", false},
    {"--eject", " burn ", false},
    {"--no-format", " burn ", false},
    {"--skip-unreadable", " burn image ", false},
    {"--speed", " burn ", true},
    {"--keep-links", " burn image verify ", false},
    {"--full", " erase ", false},
    {"--no-verify", " burn burn-image ", false},
}};

const OptionSpec* FindOption(std::string_view command, std::string_view name) {
  for (const OptionSpec& spec : kOptions) {
    const std::string word = " " + std::string(command) + " ";
    if (spec.name == name && spec.commands.find(word) != std::string_view::npos) return &spec;
  }
  return nullptr;
}

bool ParseWriter(const std::string& text, int& writer) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), writer);
  return ec == std::errc() && end == text.data() + text.size() && writer >= 0;
}

bool Apply(std::string_view name, const std::string& value, BurnerOptions& o, std::string& error) {
  if (name == "--writer") {
    if (ParseWriter(value, o.writer)) return true;
    error = "--writer takes a writer number from 0 (see 'quillon writers'), not '" + value + "'";
    return false;
  }
  if (name == "--speed") {
    // "8" or "8x"; the engine's speed members take a 16-bit factor.
    const std::string factor = value.ends_with('x') ? value.substr(0, value.size() - 1) : value;
    if (ParseWriter(factor, o.speed) && o.speed > 0 && o.speed <= 100) return true;
    error = "--speed takes a speed factor from 1 to 100 (such as 8 or 8x), not '" + value + "'";
    return false;
  }
  if (name == "--label") o.label = value;
  if (name == "--output") o.output = value;
  if (name == "--dvd") o.dvd = true;
  if (name == "--multi") o.multi = true;
  if (name == "--eject") o.eject = true;
  if (name == "--no-format") o.noFormat = true;
  if (name == "--skip-unreadable") o.skipUnreadable = true;
  if (name == "--keep-links") o.keepLinks = true;
  if (name == "--full") o.full = true;
  if (name == "--no-verify") o.verify = false;
  return true;
}

}  // namespace

bool AsksForHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

bool ParseBurnerOptions(const std::string& command, const std::vector<std::string>& args,
                        BurnerOptions& options, std::string& error) {
  const bool takesPaths = command == "burn" || command == "verify" || command == "image" || command == "burn-image";
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || !a.starts_with("-") || a == "-") {
      if (!takesPaths) {
        error = "unexpected argument '" + a + "' for " + command;
        return false;
      }
      options.paths.push_back(a);
      continue;
    }
    if (a == "--" && takesPaths) {
      optionsEnded = true;
      continue;
    }
    const std::size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    const OptionSpec* spec = FindOption(command, name);
    if (!spec) {
      error = "unknown option '" + name + "' for " + command;
      return false;
    }
    std::string value;
    if (spec->takesValue && eq != std::string::npos) {
      value = a.substr(eq + 1);
    } else if (spec->takesValue) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++i];
    } else if (eq != std::string::npos) {
      error = name + " takes no value";
      return false;
    }
    if (!Apply(name, value, options, error)) return false;
  }
  return true;
}

}  // namespace quillon
