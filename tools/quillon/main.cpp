// quillon: the command-line host of the burn engine.

#include <dlfcn.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "platform/automation/activation.h"
#include "tools/quillon/burner.h"
#include "tools/quillon/shell.h"

namespace {

const char* kUsage =
    "usage: quillon shell                 drive the control, one command a line from standard input\n"
    "       quillon register [LIBRARY]    register the engine control (default: the one beside quillon)\n"
    "       quillon unregister [LIBRARY]  remove the engine control's registration\n"
    "       quillon writers               list the writers (numbered from 0 in this order)\n"
    "       quillon info [--writer N]     what the writer and the disc in it can do\n"
    "       quillon burn [--writer N] [--label TEXT] [--dvd] [--multi] [--eject] PATH...\n"
    "                                     burn files and folders' contents to the disc's root\n"
    "       quillon erase [--writer N] [--full]   erase a CD-RW (quick unless --full)\n"
    "       quillon format [--writer N]   format a DVD+RW\n"
    "       quillon eject [--writer N]    open the writer's tray\n";

std::filesystem::path ProgramDirectory() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  return std::filesystem::path(path).parent_path();
}

// The engine library built or installed beside this program.
std::string DefaultEngineLibrary() {
  auto dir = ProgramDirectory();
  for (auto candidate : {dir / "libscrivo.so", dir / "../lib/libscrivo.so"}) {
    if (std::filesystem::exists(candidate)) return std::filesystem::canonical(candidate).string();
  }
  return (dir / "libscrivo.so").string();
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

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (argc < 2) {
    std::cerr << kUsage;
    return 2;
  }
  std::string command = argv[1];
  if (command == "shell") return quillon::RunShell(std::cin, std::cout);
  if (command == "register" || command == "unregister") {
    std::string library = argc > 2 ? argv[2] : DefaultEngineLibrary();
    return CallServerEntry(library, command == "register" ? "DllRegisterServer" : "DllUnregisterServer");
  }
  if (command == "writers" || command == "info" || command == "burn" || command == "erase" || command == "format" ||
      command == "eject") {
    quillon::BurnerOptions options;
    std::string error;
    if (!quillon::ParseBurnerOptions(command, {argv + 2, argv + argc}, options, error)) {
      std::cerr << "quillon: " << error << '\n' << kUsage;
      return 2;
    }
    return quillon::RunBurnerCommand(command, options);
  }
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  std::cerr << kUsage;
  return 2;
}
