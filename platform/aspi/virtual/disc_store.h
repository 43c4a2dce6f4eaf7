#pragma once
// The files of a virtual writer's disc: DIRECTORY/disc.img with the blocks
// (block n at byte n × 2048, a sparse file) and DIRECTORY/disc.state with
// its record (disc_state_text.h).
//
// A disc belongs to the directory, not to a process: each command takes an
// exclusive lock on disc.state (flock), re-reads the record when another
// process changed it, and writes the record back as soon as it changed, so
// several programs using the same virtual writer see one disc, as they would
// see one disc in a shared drive. The commands of a job that holds the
// writer (below) skip all of that: the record stays in memory and is written
// back where the disc's layout changes, not for every block recorded.
//
// While a job runs (writer_job.h) the writer belongs to the program running
// it: that program holds an exclusive lock on DIRECTORY/writer.lock, and the
// commands of every other program find the lock taken and are refused as a
// drive that is writing refuses them. The lock goes with the program, so a
// program that crashes never leaves the writer held. Every command of a
// program that holds no job takes the lock shared for its length, inside the
// disc.state lock, so a job can only start when no other program holds one.

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

  // Creates the directory if needed; the reason it cannot hold a disc, or
  // an empty text.
  static std::string Prepare(const std::filesystem::path& directory);

  // Takes the disc for one command. On first use creates the directory and,
  // when it holds no disc yet, a blank disc of the initial medium (or, for a
  // disc.img without a state file, a finalised disc holding that image).
  // With `startJob` the writer becomes this program's until a Release that
  // ends the job. Null when another program holds the writer
  // (`*heldElsewhere` is then set) or when the directory cannot hold a disc
  // (the reason goes to the log).
  DiscState* Acquire(bool startJob, bool* heldElsewhere);
  // Writes the record back if the command changed it, gives the writer back
  // when `endJob`, then unlocks. While a job holds the writer, a change that
  // is `deferrable` (blocks recorded on an open track) stays in memory until
  // the next change that is not, the end of the job or of the program; a
  // program killed before then leaves a record that is behind the blocks in
  // disc.img, which the next reader follows (DiscState::FollowWrittenBlocks)
  // as a drive finds the last block written after a power loss. False when
  // the record could not be written.
  bool Release(bool endJob = false, bool deferrable = false);
  bool holdsWriter() const { return holding_; }
  // The last Acquire found disc.state damaged (or at odds with disc.img):
  // the writer has a disc it cannot read.
  bool damaged() const { return damaged_; }

  bool WriteBlocks(std::uint32_t lba, const std::uint8_t* data, std::uint32_t blocks);
  // Blocks never written read as zeros.
  bool ReadBlocks(std::uint32_t lba, std::uint8_t* data, std::uint32_t blocks);
  // Drops every block (blanking and formatting).
  bool EraseBlocks();

  const std::filesystem::path& directory() const { return directory_; }

 private:
  bool OpenFiles();
  bool OpenHoldFile();
  // Inside the disc.state lock: holds the writer for a job, or checks for the
  // length of one command that no other program holds it.
  bool ClaimWriter(bool startJob, bool* heldElsewhere);
  void Unlock();
  void CloseFiles();
  bool FilesStillInPlace() const;
  bool Reload();
  bool Persist();
  void Report(const std::string& problem);
  void ReportDamage(const std::string& problem);

  std::filesystem::path directory_;
  Medium initialMedium_;
  Log& log_;
  int imageFd_ = -1;
  int stateFd_ = -1;
  bool locked_ = false;
  int holdFd_ = -1;
  bool holding_ = false;
  bool unsaved_ = false;  // the record in memory is ahead of disc.state
  std::string lastText_;  // the record as last read or written
  std::optional<DiscState> disc_;
  std::string lastProblem_;
  bool damaged_ = false;
  std::string reportedDamage_;
};

}  // namespace wnaspi::vdrive
