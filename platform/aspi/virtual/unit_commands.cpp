// TEST UNIT READY, REQUEST SENSE and START STOP UNIT (SPC, MMC 6.38).

#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi::vdrive {
namespace {

constexpr std::uint8_t kDescriptorFormat = 0x01;  // REQUEST SENSE byte 1 bit 0
constexpr std::uint8_t kLoEj = 0x02;              // START STOP UNIT byte 4 bit 1
constexpr std::uint8_t kStart = 0x01;             // byte 4 bit 0
constexpr std::uint8_t kPowerConditionMask = 0xF0;

}  // namespace

ScsiOutcome VirtualDrive::TestUnitReady(const Command&) {
  if (disc_->busy.active() && !PollOperation(true)) return Fail(BusySense());
  return ScsiOutcome::Good();
}

// The sense data of the drive's present condition: the progress of an
// operation in progress, no medium, or nothing to report. A drive with
// autosense has already delivered the sense of a failed command with it.
ScsiOutcome VirtualDrive::RequestSense(const Command& command) {
  if (command.Byte(1) & kDescriptorFormat) return Fail(sense::kInvalidFieldInCdb);
  Sense current = sense::kNone;
  if (!disc_) {
    current = noMedium_;
  } else if (disc_->busy.active() && !PollOperation(false)) {
    current = BusySense();
  }
  return command.Reply(FixedFormat(current), command.Byte(4));
}

// LoEj with Start 0 opens the tray: the next command finds no disc, and the
// tray closes again with the same disc after it, as a person pushing it back
// in would. LoEj with Start 1 closes it. Without LoEj there is nothing to do
// for a drive that spins up on demand.
ScsiOutcome VirtualDrive::StartStopUnit(const Command& command) {
  const std::uint8_t control = command.Byte(4);
  if ((control & kPowerConditionMask) == 0 && (control & kLoEj)) {
    trayOpen_ = (control & kStart) == 0;
  }
  return ScsiOutcome::Good();
}

}  // namespace wnaspi::vdrive
