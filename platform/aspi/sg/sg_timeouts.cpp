#include "platform/aspi/sg/sg_timeouts.h"

#include "platform/aspi/scsi_opcodes.h"

namespace wnaspi::sg {

unsigned CommandTimeoutMs(std::uint8_t op) {
  switch (op) {
    case opcode::kWrite10:
    case opcode::kWrite12:
      return kWriteTimeoutMs;
    case opcode::kSynchronizeCache:
      return kSynchronizeTimeoutMs;
    case opcode::kCloseTrackSession:
      return kCloseTimeoutMs;
    case opcode::kBlank:
    case opcode::kFormatUnit:
      return kEraseTimeoutMs;
    case opcode::kReserveTrack:
      return kReserveTimeoutMs;
    case opcode::kRead10:
      return kReadTimeoutMs;
    case opcode::kStartStopUnit:
      return kMechanismTimeoutMs;
    default:
      return kOrdinaryTimeoutMs;
  }
}

}  // namespace wnaspi::sg
