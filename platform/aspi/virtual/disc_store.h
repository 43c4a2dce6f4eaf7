#pragma once
// The files of a virtual writer's disc: DIRECTORY/disc.img with the blocks
// (block n at byte n × 2048, a sparse file) and DIRECTORY/disc.state with
// its record (disc_state_text.h).
//
// A disc belongs to the directory, not to a process: each command takes an
// exclusive lock on disc.state (flock), re-reads the record when another
// process changed it, and writes the record back as soon as it changed, so
// several programs using the same virtual writer see one disc, as they would
// see one disc in a shared drive.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/aspi/trace.h"
#include "platform/aspi/virtual/disc_state.h"

namespace wnaspi::vdrive {

constexpr std::uint32_t kBlockSize = 2048;

class DiscStore {
 public:
  DiscStore(std::filesystem::path directory, Medium initialMedium, Log& log);
  ~DiscStore();
  DiscStore(const DiscStore&) = delete;
  DiscStore& operator=(const DiscStore&) = delete;

  // Takes the disc for one command. On first use creates the directory and,
  // when it holds no disc yet, a blank disc of the initial medium (or, for a
  // disc.img without a state file, a finalised disc holding that image).
  // Null when the directory cannot hold a disc; the reason goes to the log.
  DiscState* Acquire();
  // Writes the record back if the command changed it, then unlocks. False
  // when the record could not be written.
  bool Release();

  bool WriteBlocks(std::uint32_t lba, const std::uint8_t* data, std::uint32_t blocks);
  // Blocks never written read as zeros.
  bool ReadBlocks(std::uint32_t lba, std::uint8_t* data, std::uint32_t blocks);
  bool Flush();
  // Drops every block (blanking and formatting).
  bool EraseBlocks();

  const std::filesystem::path& directory() const { return directory_; }

 private:
  bool OpenFiles();
  void CloseFiles();
  bool FilesStillInPlace() const;
  bool Reload();
  bool Persist();
  void Report(const std::string& problem);

  std::filesystem::path directory_;
  Medium initialMedium_;
  Log& log_;
  int imageFd_ = -1;
  int stateFd_ = -1;
  bool locked_ = false;
  std::string lastText_;  // the record as last read or written
  std::optional<DiscState> disc_;
  std::string lastProblem_;
};

}  // namespace wnaspi::vdrive
