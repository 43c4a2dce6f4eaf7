#pragma once
// A real drive behind Linux SCSI generic: each request becomes one SG_IO
// ioctl with the CDB, the direction, the caller's buffer and a sense buffer,
// and a timeout the command needs (sg_timeouts.h). A drive that answers NOT
// READY with "long write in progress" or "operation in progress" while it
// is busy writing gets the command again after a short pause, so a burn
// does not fail where the drive is merely busy. The first pauses are a few
// milliseconds, so a drive whose buffer drains at DVD speeds gets the
// write again before it runs dry; they grow, up to a bound, for a drive
// that stays busy longer. TEST UNIT READY and REQUEST
// SENSE are never repeated: their NOT READY is the answer the engine polls
// for.
//
// For the length of a job (writer_job.h) the drive is also opened with
// O_EXCL, which keeps other burning programs out. While this program holds
// no job, a TEST UNIT READY first checks with an exclusive open whether
// another program holds the drive and then answers NOT READY, LONG WRITE IN
// PROGRESS, as the drive does while it writes; a command that would start a
// job there is refused the same way, without reaching the drive. The
// exclusive open is tried again for about a second before that, since udev
// holds a drive so for a moment to probe a disc just inserted. A disc the
// system has mounted (the mount table says where) is answered NOT READY,
// cause not reportable (02/04/00) instead, at once, and the device's note
// names the mount point and the command that unmounts it.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/aspi/scsi_request.h"
#include "platform/aspi/sense.h"
#include "platform/aspi/sg/sg_system.h"
#include "platform/aspi/trace.h"
#include "platform/aspi/writer_job.h"

namespace wnaspi::sg {

// The pauses before the repeats of a busy command: the first lasts firstMs,
// each next one stepMs longer up to maxIntervalMs; the command is given up
// once the pauses add up to totalMs.
struct RetryPolicy {
  unsigned firstMs = 10;
  unsigned stepMs = 10;
  unsigned maxIntervalMs = 50;
  unsigned totalMs = 10000;
};

class SgDevice final : public ScsiDevice {
 public:
  SgDevice(std::shared_ptr<SgSystem> system, int handle, std::string node, Log& log,
           RetryPolicy retry = {});
  ~SgDevice() override;
  SgDevice(const SgDevice&) = delete;
  SgDevice& operator=(const SgDevice&) = delete;

  ScsiOutcome Execute(const ScsiRequest& request) override;
  std::string Note() override;

 private:
  ScsiOutcome Submit(const ScsiRequest& request, std::size_t cdbLength);
  ScsiOutcome SubmitWithRetries(const ScsiRequest& request);
  // Why the drive is not this program's to take now: nothing when it is
  // free, or the sense to answer. `handle` gets the exclusive open, when
  // one is wanted and the drive is free.
  std::optional<Sense> HeldElsewhere(int* handle);
  std::optional<Sense> TakeDrive(std::uint8_t opcode);
  void GiveDriveBack();
  // Asks the disc (READ DISC INFORMATION) whether the job left a session open.
  bool SessionStillOpen();

  std::shared_ptr<SgSystem> system_;
  int handle_;
  std::string node_;
  Log& log_;
  RetryPolicy retry_;
  std::mutex mutex_;  // one command at a time, as the job's state needs
  WriterJob job_;
  int exclusive_ = -1;  // the exclusive open while a job holds the drive
  std::string note_;    // why the last refusal was made, for the user
};

// Whether a command that ended so is worth sending again.
bool IsTransientBusy(std::uint8_t opcode, const ScsiOutcome& outcome);

}  // namespace wnaspi::sg
