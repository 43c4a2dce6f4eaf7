#include "platform/aspi/config.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace wnaspi {
namespace {

constexpr std::uint32_t kMaxPolls = 100000;
constexpr std::uint32_t kMaxLatencyUs = 1000000;  // one second per command
constexpr std::uint32_t kMaxRateKBps = 1000000;    // far above any drive
constexpr std::uint32_t kMaxBufferKiB = 1 << 20;   // 1 GiB

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

const std::string* Find(const Variables& variables, const char* name) {
  auto it = variables.find(name);
  return it == variables.end() ? nullptr : &it->second;
}

std::filesystem::path HomeDirectory(const Variables& variables) {
  if (const std::string* home = Find(variables, variable::kHome); home && !home->empty()) {
    return *home;
  }
  return {};
}

// "~/x" is the home directory's x; relative directories are taken from the
// working directory of the process that configured the layer.
std::filesystem::path ResolveDirectory(std::string_view text, const Variables& variables) {
  std::filesystem::path path;
  if (text == "~" || text.starts_with("~/")) {
    const std::filesystem::path home = HomeDirectory(variables);
    if (home.empty()) return {};
    path = home / std::string(text.substr(text.size() > 1 ? 2 : 1));
  } else {
    path = std::string(text);
  }
  std::error_code error;
  path = std::filesystem::absolute(path, error);
  return error ? std::filesystem::path() : path.lexically_normal();
}

void ParseWriters(const std::string& spec, const Variables& variables, Config& config) {
  std::string_view rest = spec;
  while (!rest.empty()) {
    const std::size_t semicolon = rest.find(';');
    const std::string_view item = Trim(rest.substr(0, semicolon));
    rest.remove_prefix(semicolon == std::string_view::npos ? rest.size() : semicolon + 1);
    if (item.empty()) continue;
    if (config.virtualWriters.size() == kMaxVirtualWriters) {
      config.problems.push_back(std::string(variable::kVirtualWriters) + ": more than " +
                                std::to_string(kMaxVirtualWriters) + " writers; \"" +
                                std::string(item) + "\" and later ones ignored");
      return;
    }
    const std::size_t eq = item.find('=');
    const auto medium = vdrive::MediumFromName(Trim(item.substr(0, eq)));
    const std::filesystem::path directory =
        eq == std::string_view::npos ? std::filesystem::path()
                                     : ResolveDirectory(Trim(item.substr(eq + 1)), variables);
    std::string problem;
    if (!medium) {
      problem = "unknown medium (cd-r, cd-rw, dvd-r, dvd-rw, dvd+r, dvd+rw, dvd-rw-ro, bd-r, bd-re)";
    } else if (directory.empty()) {
      problem = "no usable directory";
    } else {
      for (const auto& other : config.virtualWriters) {
        if (other && other->directory == directory) problem = "directory used by an earlier writer";
      }
    }
    const std::size_t target = config.virtualWriters.size();
    if (problem.empty()) {
      config.virtualWriters.push_back(VirtualWriterConfig{*medium, directory});
    } else {
      config.virtualWriters.push_back(std::nullopt);
      config.problems.push_back(std::string(variable::kVirtualWriters) + ": \"" + std::string(item) +
                                "\": " + problem + "; no writer at target " +
                                std::to_string(target));
    }
  }
}

bool IsOff(const std::string* value) {
  return value && (*value == "0" || *value == "no" || *value == "off" || *value == "false");
}

bool IsOn(const std::string* value) { return value && !value->empty() && !IsOff(value); }

// A whole number from `least` to `most` in variable `name`; a value that is
// not one is reported and `number` keeps its default.
void ParseNumber(const Variables& variables, const char* name, std::uint32_t least,
                 std::uint32_t most, std::uint32_t& number, Config& config) {
  const std::string* text = Find(variables, name);
  if (!text) return;
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec == std::errc() && end == text->data() + text->size() && value >= least && value <= most) {
    number = value;
    return;
  }
  config.problems.push_back(std::string(name) + ": \"" + *text + "\" is not a number from " +
                            std::to_string(least) + " to " + std::to_string(most) + "; using " +
                            std::to_string(number));
}

}  // namespace

Variables EnvironmentVariables() {
  Variables variables;
  for (const char* name :
       {variable::kVirtualWriters, variable::kVirtualFaults, variable::kVirtualPolls,
        variable::kVirtualLatency, variable::kVirtualStrict, variable::kVirtualSpeed,
        variable::kVirtualBuffer, variable::kVirtualRecognition, variable::kVirtualViaSg,
        variable::kTrace, variable::kDebug, variable::kRealDrives,
        variable::kXdgDataHome, variable::kHome}) {
    if (const char* value = std::getenv(name)) variables[name] = value;
  }
  if (!variables.contains(variable::kHome)) {
    // No HOME: the password database knows the home directory.
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
      variables[variable::kHome] = entry->pw_dir;
    }
  }
  return variables;
}

std::filesystem::path DefaultVirtualWriterDirectory(const Variables& variables) {
  std::filesystem::path base;
  // The XDG Base Directory specification ignores relative paths.
  if (const std::string* xdg = Find(variables, variable::kXdgDataHome);
      xdg && !xdg->empty() && (*xdg)[0] == '/') {
    base = *xdg;
  } else if (const std::filesystem::path home = HomeDirectory(variables); home.is_absolute()) {
    base = home / ".local" / "share";
  } else {
    return {};
  }
  return (base / "quillon" / "virtual-writer").lexically_normal();
}

Config ParseConfig(const Variables& variables) {
  Config config;
  if (const std::string* writers = Find(variables, variable::kVirtualWriters)) {
    ParseWriters(*writers, variables, config);
  } else if (auto directory = DefaultVirtualWriterDirectory(variables); !directory.empty()) {
    config.virtualWriters.push_back(VirtualWriterConfig{vdrive::Medium::CdRw, directory});
    config.virtualWritersImplied = true;
  } else {
    config.problems.push_back("no home directory: the default virtual writer is not available");
  }
  if (const std::string* faults = Find(variables, variable::kVirtualFaults)) config.faults = *faults;
  if (const std::string* trace = Find(variables, variable::kTrace)) config.traceFile = *trace;
  config.debug = IsOn(Find(variables, variable::kDebug));
  config.realDrives = !IsOff(Find(variables, variable::kRealDrives));
  ParseNumber(variables, variable::kVirtualPolls, 1, kMaxPolls, config.pollsPerOperation, config);
  std::uint32_t latencyUs = 0;
  ParseNumber(variables, variable::kVirtualLatency, 0, kMaxLatencyUs, latencyUs, config);
  config.commandLatency = std::chrono::microseconds(latencyUs);
  config.model.strict = !IsOff(Find(variables, variable::kVirtualStrict));
  config.model.foreignPage = IsOn(Find(variables, variable::kVirtualForeignPage));
  config.virtualViaSg = IsOn(Find(variables, variable::kVirtualViaSg));
  ParseNumber(variables, variable::kVirtualSpeed, 0, kMaxRateKBps, config.model.rateKBps, config);
  ParseNumber(variables, variable::kVirtualBuffer, 1, kMaxBufferKiB, config.model.bufferKiB, config);
  ParseNumber(variables, variable::kVirtualRecognition, 0, kMaxPolls, config.model.recognitionCommands,
              config);
  return config;
}

}  // namespace wnaspi
