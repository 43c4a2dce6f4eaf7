#pragma once
// The burn's inputs, looked at before the writer is touched: each PATH must
// exist and be readable, the label must fit, and the folders are walked for
// entries the engine would refuse (unreadable files, special files, files
// of 4 GiB or more, links back into a folder above), and for two entries
// that would land at the disc's root under one name. The walk also gives
// the size the session needs, for the free-space check.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

struct InputProblem {
  std::string path;
  std::string reason;
};

struct CompilationFacts {
  // PATHs that cannot be burned at all, and entries that would replace one
  // another at the root: the command stops.
  std::vector<InputProblem> unusablePaths;
  // Entries inside the folders that the engine will refuse: the command
  // stops unless the user lets the rest be burned.
  std::vector<InputProblem> refusedEntries;
  std::uint64_t entries = 0;  // files and folders that will be burned
  // About the blocks the session needs (its file data exactly, its metadata
  // estimated from below): enough to tell that a compilation cannot fit.
  std::uint64_t blocks = 0;
};

CompilationFacts ExamineCompilation(const std::vector<std::string>& paths);

// The engine's text for a label it refuses, with the label; nullopt for a
// label it takes (at most 15 characters).
std::optional<std::string> LabelProblem(const std::string& label);

}  // namespace quillon
