// TEST UNIT READY, REQUEST SENSE, START STOP UNIT and PREVENT ALLOW MEDIUM
// REMOVAL (SPC, MMC 6.38, 6.12), and the conditions a drive reports before
// it looks at a command: recognising a disc just loaded, the medium change,
// an immediate close or flush still running.

#include "platform/aspi/scsi_opcodes.h"
#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi::vdrive {
namespace {

constexpr std::uint8_t kDescriptorFormat = 0x01;  // REQUEST SENSE byte 1 bit 0
constexpr std::uint8_t kLoEj = 0x02;              // START STOP UNIT byte 4 bit 1
constexpr std::uint8_t kStart = 0x01;             // byte 4 bit 0
constexpr std::uint8_t kPowerConditionMask = 0xF0;
constexpr std::uint8_t kPreventMask = 0x03;  // PREVENT ALLOW byte 4: persistent, prevent

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
    const bool eject = (control & kStart) == 0;
    if (eject && locked_) return Fail(sense::kMediumRemovalPrevented);
    trayOpen_ = eject;
  }
  return ScsiOutcome::Good();
}

// Locks the tray (either prevent bit) or unlocks it: a locked drive refuses
// an eject and ignores its button.
ScsiOutcome VirtualDrive::PreventAllowMediumRemoval(const Command& command) {
  locked_ = (command.Byte(4) & kPreventMask) != 0;
  return ScsiOutcome::Good();
}

void VirtualDrive::StartImmediate(const Sense& busy) { immediate_ = Immediate{busy, 0}; }

std::optional<ScsiOutcome> VirtualDrive::DriveCondition(const CommandEntry& entry,
                                                        const Command& command) {
  if (!disc_) return std::nullopt;
  const std::uint8_t op = command.opcode();
  const bool requestSense = op == opcode::kRequestSense;
  // Identification is answered whatever the disc is doing (SPC, MMC).
  const bool identifying = op == opcode::kInquiry || op == opcode::kGetConfiguration;
  // REQUEST SENSE reports the condition as its data; other commands fail.
  auto report = [&](const Sense& sense) {
    return requestSense ? command.Reply(FixedFormat(sense), command.Byte(4)) : Fail(sense);
  };
  if (recognizing_ > 0 && !identifying && (entry.needsMedium || requestSense)) {
    --recognizing_;
    return report(sense::kBecomingReady);
  }
  if (mediumChanged_ && !identifying) {
    mediumChanged_ = false;
    return report(sense::kMediumMayHaveChanged);
  }
  if (!immediate_) return std::nullopt;
  const std::uint32_t total = options_.pollsPerOperation;
  const bool poll = op == opcode::kTestUnitReady || requestSense;
  if (poll && ++immediate_->polls > total) {
    immediate_.reset();  // done: the command is answered as usual
    return std::nullopt;
  }
  if (!poll && entry.allowedWhileBusy) return std::nullopt;
  Sense busy = immediate_->sense;
  busy.progress = static_cast<std::uint16_t>(std::uint64_t{immediate_->polls} * 0xFFFF / (total + 1));
  return report(busy);
}

}  // namespace wnaspi::vdrive
