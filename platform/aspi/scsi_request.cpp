#include "platform/aspi/scsi_request.h"

#include <algorithm>

#include "platform/aspi/wnaspi32.h"

namespace wnaspi {

ScsiOutcome ScsiOutcome::Check(std::span<const std::uint8_t> senseBytes) {
  ScsiOutcome outcome;
  outcome.kind = Kind::CheckCondition;
  outcome.targetStatus = STATUS_CHKCOND;
  outcome.senseLength = static_cast<std::uint8_t>(std::min(senseBytes.size(), kMaxSense));
  std::copy_n(senseBytes.begin(), outcome.senseLength, outcome.sense.begin());
  return outcome;
}

ScsiOutcome ScsiOutcome::Host(std::uint8_t hostStatus) {
  ScsiOutcome outcome;
  outcome.kind = Kind::HostError;
  outcome.hostStatus = hostStatus;
  return outcome;
}

}  // namespace wnaspi
