#pragma once
// Why a burn failed, and what it left on the disc: the step, the drive's
// command and sense where the writer refused, the file and errno where a
// source failed, the blocks needed and free where the disc was too small,
// and how much of the session was written and closed.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/burn/burn_drive.h"
#include "engine/drive/command_failure.h"

namespace scrivo {

enum class BurnStep {
  None,
  CheckMedium,          // a medium the burn does not write (none, a BD, a used DVD, ...)
  PrepareTrack,         // the disc cannot take a session, or its state is unreadable
  SetWriteParameters,   // the writer did not take the write parameters page
  ReadPreviousSession,  // the files already on the disc could not be read
  CarryPreviousSession, // entries already on the disc that the new session cannot hold
  BuildImage,           // the compilation does not make an image
  CheckFreeSpace,       // the image is larger than the disc's free space
  PrepareDvdTrack,      // the writer never became ready for the DVD
  Write,                // a write the writer refused
  ReadSource,           // a file that could not be read to its end
  CloseSession,         // the session was not closed
  CheckImageFile,       // the file offered for burning is not an ISO 9660 image
  UsedDisc,             // an image file goes only onto a blank disc
};

// The disc after the failure.
enum class DiscAfterFailure {
  Untouched,        // nothing was written
  SessionClosed,    // the session was closed on what was written
  SessionLeftOpen,  // blocks were written and the session could not be closed
};

struct BurnFailure {
  BurnStep step = BurnStep::None;
  DiscRefusal refusal = DiscRefusal::None;
  std::string mediumRefusal;  // the medium named, for CheckMedium
  std::string imageProblem;   // why the file is no image to burn, for CheckImageFile
  std::optional<CommandFailure> command;
  std::uint64_t blocksNeeded = 0;
  std::uint64_t blocksFree = 0;
  std::uint64_t blocksWritten = 0;
  std::string sourcePath;
  int sourceError = 0;  // errno; 0 when the file ended early
  DiscAfterFailure disc = DiscAfterFailure::Untouched;

  // A stable name of the step ("write", "close session"), for hosts.
  std::string StepName() const;
  // What failed and what the disc holds now, with what to do where that
  // applies, in sentences for the user.
  std::string Describe() const;
};

// What the host hears of a new file that was no longer as it was added
// while it was read: `unreadable` (its place holds zeros), or it changed
// size (`size`, the bytes it had). `doing`: "burning" or "writing the
// image"; `holder`: "the disc" or "the image".
std::string SourceChangeText(const std::string& path, std::uint64_t size, bool unreadable, const std::string& doing,
                             const std::string& holder);

// "12,352"
std::string WithThousands(std::uint64_t value);
// Blocks of 2048 bytes in megabytes, one decimal: "24.1 MB".
std::string MegabytesOf(std::uint64_t blocks);

}  // namespace scrivo
