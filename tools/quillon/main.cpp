// quillon: the command-line host of the burn engine.

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/drive_doctor.h"
#include "host/engine_registration.h"
#include "platform/automation/activation.h"
#include "tools/quillon/burner.h"
#include "tools/quillon/events.h"
#include "tools/quillon/help.h"
#include "tools/quillon/options.h"
#include "tools/quillon/shell.h"

namespace {

std::filesystem::path ProgramDirectory() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  return std::filesystem::path(path).parent_path();
}

// The engine library installed or built with this program.
std::string DefaultEngineLibrary() {
  const auto engine = quillonhost::EngineWithProgram(ProgramDirectory());
  return engine ? engine->path.string() : (ProgramDirectory() / "libscrivo.so").string();
}

// An installed quillon registers the engine installed with it on first use
// (and in place of a build tree's); a quillon in a build tree is registered
// with 'quillon register', as scripts/build.sh does.
void RegisterInstalledEngine() {
  const auto engine = quillonhost::EngineWithProgram(ProgramDirectory());
  if (!engine || !engine->installed) return;
  if (const std::string problem = quillonhost::EnsureEngineRegistered(*engine); !problem.empty())
    std::cerr << "quillon: " << problem << '\n';
}

// Each CD/DVD drive of the machine and what keeps this user from burning on
// it; exit 0 when at least one can be used.
int Doctor() {
  const auto system = quillonhost::LinuxDoctorSystem();
  const auto findings = quillonhost::ExamineDrives({}, *system);
  std::cout << quillonhost::DescribeFindings(findings);
  for (const auto& finding : findings) {
    if (finding.problem == quillonhost::DriveFinding::Problem::None) return quillon::kExitDone;
  }
  return quillon::kExitFailed;
}

int CallServerEntry(const std::string& library, const char* entry) {
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::cerr << "quillon: cannot load " << library << ": " << dlerror() << '\n';
    return 1;
  }
  auto fn = reinterpret_cast<platform::DllRegisterServerFn>(dlsym(handle, entry));
  if (!fn) {
    std::cerr << "quillon: " << library << " has no " << entry << '\n';
    return 1;
  }
  platform::HRESULT hr = fn();
  if (platform::FAILED(hr)) {
    std::cerr << "quillon: " << entry << " failed (" << platform::DescribeHresult(hr) << ")\n";
    return 1;
  }
  std::cout << entry << ": " << library << '\n';
  return 0;
}

// A command-line mistake: named, followed by the usage, exit 2.
int Mistake(const std::string& text, std::string_view command) {
  if (quillon::JsonEvents()) {
    quillon::ReportMessage(text);
    return quillon::kExitUsage;
  }
  std::cerr << "quillon: " << text << '\n' << quillon::CommandUsage(command);
  return quillon::kExitUsage;
}

int Help(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cout << quillon::GeneralHelp();
    return quillon::kExitDone;
  }
  auto help = quillon::CommandHelp(args[0]);
  if (!help) return Mistake("unknown command '" + args[0] + "'", "");
  std::cout << *help;
  return quillon::kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (argc < 2) {
    std::cerr << quillon::GeneralHelp();
    return quillon::kExitUsage;
  }
  // --json before the command, or among a burner command's options: every
  // report as one JSON object a line (events.h).
  int first = 1;
  if (std::string_view(argv[1]) == "--json") {
    quillon::UseJsonEvents(true);
    if (argc < 3) return quillon::ReportResult(Mistake("--json is followed by a command", ""));
    first = 2;
  }
  const std::string command = argv[first];
  std::vector<std::string> args(argv + first + 1, argv + argc);
  if (quillon::JsonEvents() &&
      std::string_view(" writers info burn erase format close eject ").find(" " + command + " ") ==
          std::string_view::npos) {
    return quillon::ReportResult(
        Mistake("--json is for writers, info, burn, erase, format, close and eject", ""));
  }
  if (command == "--help" || command == "-h") return Help({});
  if (command == "help") return Help(args);
  if (!quillon::CommandHelp(command)) {
    return Mistake((command.starts_with("-") ? "unknown option '" : "unknown command '") + command + "'", "");
  }
  if (quillon::AsksForHelp(args)) return Help({command});
  if (command == "doctor" || command == "shell") {
    if (!args.empty()) return Mistake("unexpected argument '" + args[0] + "' for " + command, command);
    if (command == "doctor") return Doctor();
    RegisterInstalledEngine();
    return quillon::RunShell(std::cin, std::cout);
  }
  if (command == "register" || command == "unregister") {
    if (args.size() > 1) return Mistake("unexpected argument '" + args[1] + "' for " + command, command);
    const std::string library = args.empty() ? DefaultEngineLibrary() : args[0];
    return CallServerEntry(library, command == "register" ? "DllRegisterServer" : "DllUnregisterServer");
  }
  if (const auto json = std::find(args.begin(), std::find(args.begin(), args.end(), "--"), "--json");
      json != args.end() && *json == "--json") {
    quillon::UseJsonEvents(true);
    args.erase(json);
  }
  quillon::BurnerOptions options;
  std::string error;
  if (!quillon::ParseBurnerOptions(command, args, options, error)) {
    return quillon::ReportResult(Mistake(error, command));
  }
  RegisterInstalledEngine();
  return quillon::ReportResult(quillon::RunBurnerCommand(command, options));
}
