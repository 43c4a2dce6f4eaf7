#include "platform/aspi/writer_job.h"

#include <utility>

#include "platform/aspi/scsi_opcodes.h"

namespace wnaspi {

JobKind JobStartedBy(std::uint8_t op) {
  switch (op) {
    case opcode::kWrite10:
    case opcode::kWrite12:
    case opcode::kReserveTrack:
      return JobKind::Burn;
    case opcode::kBlank:
    case opcode::kFormatUnit:
      return JobKind::Erase;
    default:
      return JobKind::None;
  }
}

void WriterJob::Start(std::uint8_t opcode) {
  kind_ = JobStartedBy(opcode);
  firstCommand_ = kind_ != JobKind::None;
}

WriterJob::Next WriterJob::After(std::uint8_t op, const ScsiOutcome& outcome) {
  if (!running()) return Next::Continue;
  if (std::exchange(firstCommand_, false) && !outcome.good()) return Next::EndJob;
  if (op == opcode::kSynchronizeCache || op == opcode::kCloseTrackSession) return Next::CheckDisc;
  if (kind_ == JobKind::Erase && op == opcode::kTestUnitReady && outcome.good()) return Next::CheckDisc;
  return Next::Continue;
}

void WriterJob::End() {
  kind_ = JobKind::None;
  firstCommand_ = false;
}

}  // namespace wnaspi
