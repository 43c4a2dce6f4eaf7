#pragma once
// The burn's inputs, looked at before the writer is touched: each PATH must
// exist and be readable, the label must fit (the engine's limits, from the
// image library), and the folders are walked for folders that cannot be
// read and for two entries that would land at the disc's root under one
// name. The walk also gives the size the session needs, for the free-space
// check. The entries the engine refuses it names itself, with the reason,
// when they are handed over.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

struct InputProblem {
  std::string path;
  std::string reason;
  // For two entries that would land at the disc's root under one name: the
  // one that came first.
  std::string clashesWith;
};

struct CompilationFacts {
  // PATHs that cannot be burned at all, files too large for the medium,
  // and entries that would replace one another at the root: the command stops.
  std::vector<InputProblem> unusablePaths;
  // Folders inside the folders that cannot be read: the engine would burn
  // them empty, so the command stops unless the user lets the rest be
  // burned.
  std::vector<InputProblem> refusedEntries;
  std::uint64_t entries = 0;  // files and folders that will be burned
  // Entries inside the folders that the engine will refuse and name itself
  // when they are handed over.
  std::uint64_t leftToEngine = 0;
  // About the blocks the session needs (its file data exactly, its metadata
  // estimated from below): enough to tell that a compilation cannot fit.
  std::uint64_t blocks = 0;
  // Symbolic links inside the folders that lead outside every folder being
  // burned: `reason` holds where they lead.
  std::vector<InputProblem> outsideLinks;
};

struct CompilationOptions {
  bool dvd = false;        // a file of 4 GiB or more is recorded in sections
  bool keepLinks = false;  // a folder's links are recorded as links, not followed
};

CompilationFacts ExamineCompilation(const std::vector<std::string>& paths,
                                    const CompilationOptions& options = {});

// The engine's text for a label it refuses, with the label; nullopt for a
// label it takes (at most 15 characters).
std::optional<std::string> LabelProblem(const std::string& label);

}  // namespace quillon
