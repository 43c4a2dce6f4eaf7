#pragma once
// When a writer belongs to one program: from the first command of a job that
// changes the disc until the job is over, as the commands of a burn, an
// erase or a format show it. Both kinds of writer follow these rules; each
// holds the writer its own way (the virtual writer with a lock on a file in
// its directory, a real drive by opening its device exclusively), and the
// operating system gives the writer back when the program ends, however it
// ends.
//
// - A job starts with the first WRITE(10), WRITE(12) or RESERVE TRACK (a
//   burn), or BLANK or FORMAT UNIT (an erase).
// - If that first command fails, nothing was started: the writer is given
//   back at once.
// - A burn may be over after SYNCHRONIZE CACHE or CLOSE TRACK/SESSION, an
//   erase once TEST UNIT READY finds the drive ready again (or after CLOSE
//   TRACK/SESSION or SYNCHRONIZE CACHE). The device then looks at the disc:
//   the job is over unless a session is still open or a blank or format
//   still runs. (A DVD+RW has no session to close: its burn ends with the
//   cache flush.)

#include <cstdint>

#include "platform/aspi/scsi_request.h"

namespace wnaspi {

enum class JobKind : std::uint8_t { None, Burn, Erase };

// The job a command begins when no job runs; None for every other command.
JobKind JobStartedBy(std::uint8_t opcode);

class WriterJob {
 public:
  enum class Next : std::uint8_t { Continue, EndJob, CheckDisc };

  bool running() const { return kind_ != JobKind::None; }
  // Whether `opcode` starts a job now (the writer must be held before it runs).
  bool Starts(std::uint8_t opcode) const { return !running() && JobStartedBy(opcode) != JobKind::None; }
  void Start(std::uint8_t opcode);
  // After a command of the running job: go on, give the writer back, or
  // look at the disc to see whether the job is over.
  Next After(std::uint8_t opcode, const ScsiOutcome& outcome);
  void End();

 private:
  JobKind kind_ = JobKind::None;
  bool firstCommand_ = false;  // the command that started the job has not ended yet
};

}  // namespace wnaspi
