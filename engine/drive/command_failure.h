#pragma once
// What a drive command that did not succeed left behind: which command,
// the request's status, and the drive's sense (key, ASC, ASCQ as named
// fields), so every caller can say why instead of just "failed".

#include <cstdint>
#include <optional>
#include <string>

#include "engine/drive/mmc_commands.h"

namespace scrivo {

// Status a request ends with when no ASPI layer is bound.
constexpr std::uint8_t kStatusNotBound = 255;

struct SenseCode {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  friend bool operator==(const SenseCode&, const SenseCode&) = default;
};

struct CommandFailure {
  Cdb cdb{};
  // ASPI status of the request (SS_ERR for a command the drive refused).
  std::uint8_t status = 0;
  // The host adapter's view of the transport (a time-out, a reset).
  std::uint8_t adapterStatus = 0;
  // Set when the drive answered CHECK CONDITION with sense data.
  std::optional<SenseCode> sense;
  // Counts the failures of one drive object: a step that sees it change
  // knows that one of its own commands failed.
  std::uint64_t serial = 0;

  // "WRITE(10)", or "command 5Ch" for one the engine has no name for.
  std::string CommandName() const;
  // The block a READ(10) or WRITE(10) addressed; nullopt for others.
  std::optional<std::int64_t> Block() const;
  // "03/0C/00", or empty without sense.
  std::string SenseText() const;
  // What the sense means in words ("write error", "medium not present"),
  // or the transport's failure without sense; never empty.
  std::string Meaning() const;
};

}  // namespace scrivo
