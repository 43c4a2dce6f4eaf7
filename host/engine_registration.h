#pragma once
// The hosts create the engine control by class id, so the control must be
// registered for the user. A program registers the engine that came with
// it: the one in the private library folder of its installation (the
// package's), else the one built beside it.

#include <filesystem>
#include <optional>
#include <string>

namespace quillonhost {

struct EngineLibrary {
  std::filesystem::path path;  // canonical
  bool installed = false;      // in the installation's private library folder
};

// The engine library that came with the program in `programDir`: in
// ../<private library folder> (installed), beside it (the build tree) or in
// ../lib (an older 'cmake --install').
std::optional<EngineLibrary> EngineWithProgram(const std::filesystem::path& programDir);

// Registers `engine` for this user when the registration names no library
// that exists; an installed engine also replaces a registration of another
// library (a build tree's), so installed programs use the engine installed
// with them. Returns an empty text on success, else what went wrong.
std::string EnsureEngineRegistered(const EngineLibrary& engine);

}  // namespace quillonhost
