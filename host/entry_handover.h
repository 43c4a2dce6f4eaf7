#pragma once
// Handing a compilation over to the engine control, the same way in every
// host: each entry added with AddDirectory (a folder, its path ending in
// "/") or AddFile (a file, under the name after its last "/"), and each
// entry the engine refused collected with its reason.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/control_host.h"

namespace quillon {

// An entry the engine refused.
struct RefusedEntry {
  std::string entry;   // the compilation entry it came with (a folder ends in "/")
  std::string path;    // the refused file or folder: the entry, or one inside it
  std::string reason;  // "<path>: <why>", in the engine's words
  // scrivo::EntryRefusalKind; 0 when the engine gave only its failure text.
  std::int16_t kind = 0;
};

struct HandOverResult {
  std::vector<RefusedEntry> refused;
  // Entries that went in: every folder (a refusal may concern only what it
  // holds), and the files the engine took.
  std::size_t accepted = 0;
};

// The refusal an EntryRefused notice tells of; nullopt for another notice.
std::optional<RefusedEntry> ReadEntryRefused(const HostNotice& notice);

// Hands `entries` over to `control`, in order. The engine posts its
// refusals: after each entry `collect` runs the message loop and returns the
// notices that arrived meanwhile. A failure text that no EntryRefused
// follows (a control without it, or another failure) counts as a refusal in
// its own words.
HandOverResult HandOverEntries(platform::IDispatch& control, const std::vector<std::string>& entries,
                               const std::function<std::vector<HostNotice>()>& collect);

}  // namespace quillon
