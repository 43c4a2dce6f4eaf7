#pragma once
// A real drive behind Linux SCSI generic: each request becomes one SG_IO
// ioctl with the CDB, the direction, the caller's buffer and a sense buffer,
// and a timeout the command needs (sg_timeouts.h). A drive that answers NOT
// READY with "long write in progress" or "operation in progress" while it
// is busy writing gets the command again after a short pause, so a burn
// does not fail where the drive is merely busy. TEST UNIT READY and REQUEST
// SENSE are never repeated: their NOT READY is the answer the engine polls
// for.

#include <memory>
#include <string>

#include "platform/aspi/scsi_request.h"
#include "platform/aspi/sg/sg_system.h"
#include "platform/aspi/trace.h"

namespace wnaspi::sg {

struct RetryPolicy {
  unsigned intervalMs = 200;
  unsigned maxRetries = 50;  // 10 seconds
};

class SgDevice final : public ScsiDevice {
 public:
  SgDevice(std::shared_ptr<SgSystem> system, int handle, std::string node, Log& log,
           RetryPolicy retry = {});
  ~SgDevice() override;
  SgDevice(const SgDevice&) = delete;
  SgDevice& operator=(const SgDevice&) = delete;

  ScsiOutcome Execute(const ScsiRequest& request) override;

 private:
  ScsiOutcome Submit(const ScsiRequest& request, std::size_t cdbLength);

  std::shared_ptr<SgSystem> system_;
  int handle_;
  std::string node_;
  Log& log_;
  RetryPolicy retry_;
};

// Whether a command that ended so is worth sending again.
bool IsTransientBusy(std::uint8_t opcode, const ScsiOutcome& outcome);

}  // namespace wnaspi::sg
